#pragma once

#include <QObject>
#include <QString>

namespace UI {

// The answer of the latest update check, wherever it was asked (the tray menu or Settings), so
// Settings never keeps an older answer than the tray's. GUI thread only.
class UpdateCheckAnswer : public QObject
{
    Q_OBJECT

public:
    enum class Result { UpToDate, UpdateRequired, Failed };

    static UpdateCheckAnswer *instance();
    // Settings' wording of a result.
    static QString text(Result result);

    void announce(Result result);
    // The answer of a check that fetched the configuration or not, with what it then required.
    void announceCheck(bool fetched, bool updateRequired);

Q_SIGNALS:
    void answered(UI::UpdateCheckAnswer::Result result);
};

} // namespace UI
