#pragma once

#include <QString>
#include <QWidget>

namespace UI {

// A thin pill-shaped percentage bar: a track in the palette's border colour (read at each paint)
// and a fill in a fixed colour. Everything is fixed at construction. GUI thread only.
class ActivityBar final : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ActivityBar)

public:
    // percent is clamped to 0..100; colour is any form QColor::fromString reads; barHeight in px.
    ActivityBar(double percent, const QString &colour, int barHeight, QWidget *parent = nullptr);
    ~ActivityBar() override;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    double m_percent = 0.0;
    QString m_colour;
    int m_barHeight = 0;
};

} // namespace UI
