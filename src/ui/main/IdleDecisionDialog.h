#pragma once

#include <QDialog>

namespace UI {

// Asks whether to go on tracking after an idle spell. The choice is read only when the dialog was
// accepted; closing or Escape rejects it.
class IdleDecisionDialog final : public QDialog
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(IdleDecisionDialog)

public:
    enum class Choice : int { Keep = 0, Discard = 1 };

    explicit IdleDecisionDialog(QWidget *parent = nullptr);

    Choice choice() const { return m_choice; }

private Q_SLOTS:
    void onContinueClicked();
    void onStopClicked();

private:
    Choice m_choice = Choice::Discard;
};

} // namespace UI
