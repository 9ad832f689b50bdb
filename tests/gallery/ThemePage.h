#pragma once

class QWidget;

// Swatches, every button, label and input style, a card, the symbols, tab icons and logo.
QWidget *buildThemePage();
