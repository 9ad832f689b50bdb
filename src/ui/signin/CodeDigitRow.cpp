#include "ui/signin/CodeDigitRow.h"

#include "ui/signin/SignInStyle.h"
#include "ui/theme/Theme.h"

#include <QHBoxLayout>
#include <QLineEdit>
#include <QSignalBlocker>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace UI {

namespace {

constexpr int boxCount = 6;

bool isAsciiDigit(QChar c)
{
    return c >= u'0' && c <= u'9';
}

QString asciiDigitsOf(const QString &text)
{
    QString digits;
    for (const QChar c : text) {
        if (isAsciiDigit(c))
            digits.append(c);
    }
    return digits;
}

} // namespace

CodeDigitRow::CodeDigitRow(QWidget *parent)
    : QWidget(parent)
{
    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(8);
    for (int i = 0; i < boxCount; ++i) {
        auto *box = new QLineEdit(this);
        // One box takes a whole pasted code; the edit rule spreads it.
        box->setMaxLength(6);
        box->setAlignment(Qt::AlignCenter);
        box->setFixedSize(36, 44);
        box->setInputMethodHints(Qt::ImhDigitsOnly);
        connect(box, &QLineEdit::textChanged, this,
                [this, i](const QString &text) { onBoxTextChanged(i, text); });
        layout->addWidget(box);
        m_boxes.append(box);
        m_lastTexts.append(QString());
    }
    layout->addStretch(1);
    followPalette(this, [this] { applyPaletteColours(); });
}

void CodeDigitRow::applyPaletteColours()
{
    const Theme::Palette &palette = Theme::currentPalette();
    const QString sheet
            = u"QLineEdit { background: %1; border: 1px solid %2; border-radius: 8px; padding: "
              u"0px; "
              u"font-size: 20px; font-weight: 600; color: %3; }QLineEdit:focus { border: 1px solid "
              u"%4; }QLineEdit:disabled { color: %5; }"_s.arg(palette.surface, palette.brand400,
                                                              Theme::textColor, Theme::brandColor,
                                                              palette.muted);
    for (QLineEdit *box : std::as_const(m_boxes))
        box->setStyleSheet(sheet);
}

void CodeDigitRow::setObjectNamePrefix(const QString &prefix)
{
    for (int i = 0; i < m_boxes.size(); ++i)
        m_boxes[i]->setObjectName(u"%1_%2"_s.arg(prefix).arg(i));
}

void CodeDigitRow::setBoxesEnabled(bool enabled)
{
    for (QLineEdit *box : std::as_const(m_boxes))
        box->setEnabled(enabled);
}

void CodeDigitRow::focusFirst()
{
    if (!m_boxes.isEmpty())
        m_boxes.first()->setFocus(Qt::OtherFocusReason);
}

QStringList CodeDigitRow::digits() const
{
    QStringList texts;
    for (const QLineEdit *box : m_boxes)
        texts.append(box->text());
    return texts;
}

QString CodeDigitRow::code() const
{
    return digits().join(QString());
}

void CodeDigitRow::clear()
{
    for (QLineEdit *box : std::as_const(m_boxes)) {
        const QSignalBlocker blocker(box);
        box->clear();
    }
    for (QString &last : m_lastTexts)
        last.clear();
}

void CodeDigitRow::setBoxText(int index, const QString &text)
{
    const QSignalBlocker blocker(m_boxes[index]);
    m_boxes[index]->setText(text);
}

void CodeDigitRow::onBoxTextChanged(int index, const QString &text)
{
    const QString previous = m_lastTexts[index];
    QString working = text;
    bool overType = false;

    if (previous.size() == 1 && text.size() > 1) {
        // What was typed or pasted beside the old digit: after the cursor's run when the old
        // digit stands before it, the run before the old digit otherwise.
        const int inserted = int(text.size()) - 1;
        const int start = m_boxes[index]->cursorPosition() - inserted;
        if (start == 0 || start == 1) {
            working = text.mid(start, inserted);
            overType = true;
        }
    }

    QString digits = asciiDigitsOf(working);
    if (overType) {
        if (digits.isEmpty())
            digits = previous; // a non-digit typed over a digit keeps the digit
        else
            overType = false;
    }

    if (digits.size() < 2) {
        setBoxText(index, digits);
        if (!overType && digits.size() == 1 && index < boxCount - 1)
            m_boxes[index + 1]->setFocus(Qt::OtherFocusReason);
    } else {
        const QString spread = digits.left(boxCount - index);
        for (int k = 0; k < spread.size(); ++k)
            setBoxText(index + k, QString(spread[k]));
        m_boxes[std::min(index + int(spread.size()), boxCount - 1)]->setFocus(Qt::OtherFocusReason);
    }

    for (int k = 0; k < boxCount; ++k)
        m_lastTexts[k] = m_boxes[k]->text();

    const QString joined = code();
    if (onChanged)
        onChanged(joined);
    const bool complete = std::all_of(m_boxes.cbegin(), m_boxes.cend(), [](const QLineEdit *box) {
        return box->text().size() == 1 && isAsciiDigit(box->text().front());
    });
    if (complete && onCompleted)
        onCompleted(joined);
}

} // namespace UI
