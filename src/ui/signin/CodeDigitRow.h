#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <QWidget>

#include <functional>

class QLineEdit;

namespace UI {

// Six one-character boxes for a six-digit code. Typed, over-typed and pasted digits are spread
// over the boxes and the focus moves along; everything but ASCII digits is dropped. The page
// learns of edits through the two callbacks only. GUI thread.
class CodeDigitRow final : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CodeDigitRow)

public:
    explicit CodeDigitRow(QWidget *parent = nullptr);

    // Called with the joined code after every edit of a box.
    std::function<void(const QString &)> onChanged;
    // Called with the joined code after an edit that leaves six single digits, also when the
    // code did not change: pages that must act once per code guard themselves.
    std::function<void(const QString &)> onCompleted;

    // Box i is named "<prefix>_<i>".
    void setObjectNamePrefix(const QString &prefix);
    void setBoxesEnabled(bool enabled);
    void focusFirst();
    QStringList digits() const;
    QString code() const;
    // Empties every box without calling either callback.
    void clear();

private:
    void onBoxTextChanged(int index, const QString &text);
    void setBoxText(int index, const QString &text);
    void applyPaletteColours();

    QList<QLineEdit *> m_boxes;
    // Each box's text as the row last left it; tells an over-type from a fresh entry.
    QList<QString> m_lastTexts;
};

} // namespace UI
