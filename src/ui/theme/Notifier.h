#pragma once

#include <QObject>

namespace UI::Theme {

// Announces palette applications. One process-wide instance, made on first use and kept until
// exit; its signal is emitted on the GUI thread at the end of every applyPalette().
class Notifier final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(Notifier)

public:
    static Notifier *instance();

Q_SIGNALS:
    void paletteChanged();

private:
    Notifier() = default;
};

} // namespace UI::Theme
