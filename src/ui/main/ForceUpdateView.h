#pragma once

#include <QWidget>

class QLabel;
class QPushButton;

namespace UI {

// The page shown instead of everything else while the company requires a newer client: says that
// tracking has stopped, names the latest version and links to the download. It reads the state
// holder only in refresh(), which the window calls each time it switches here. GUI thread only.
class ForceUpdateView final : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ForceUpdateView)

public:
    explicit ForceUpdateView(QWidget *parent = nullptr);
    ~ForceUpdateView() override;

    void refresh();
    // Opens the download address in the desktop's browser; nothing without one.
    void openDownloadLink();

private:
    QLabel *m_versionLabel = nullptr;
    QPushButton *m_downloadButton = nullptr;
};

} // namespace UI
