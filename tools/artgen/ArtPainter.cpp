#include "ArtPainter.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <QRandomGenerator>
#include <QtMath>

#include <functional>

namespace ArtGen {

namespace {

constexpr double W = bannerWidth;
constexpr double H = bannerHeight;
// Where the subject sits: about 73 % across, its centre inside the upper third of the first
// 640 rows.
const QPointF subjectCentre(W * 0.73, H * 0.31);
constexpr double R = 150.0;

// The colours one banner is drawn from: the palette's accents on light palettes, greys on the
// dark one.
struct Tones
{
    bool dark = false;
    QColor washLeft;
    QColor washRight;
    QColor deep;
    QColor main;
    QColor light;
    QColor glow;
    QColor face;
    QColor faceEdge;
    QColor highlight;
    QColor edge;
    QColor ink;
};

QColor colour(const QString &text)
{
    return QColor::fromString(text);
}

QColor alpha(QColor c, int a)
{
    c.setAlpha(a);
    return c;
}

QColor mix(const QColor &a, const QColor &b, double t)
{
    return QColor::fromRgbF(float(a.redF() + (b.redF() - a.redF()) * t),
                            float(a.greenF() + (b.greenF() - a.greenF()) * t),
                            float(a.blueF() + (b.blueF() - a.blueF()) * t));
}

Tones tonesFor(const UI::Theme::Palette &palette)
{
    Tones t;
    t.dark = palette.isDark;
    t.edge = colour(palette.chrome);
    if (t.dark) {
        t.washLeft = colour(QStringLiteral("#17171B"));
        t.washRight = colour(QStringLiteral("#25252B"));
        t.deep = colour(QStringLiteral("#3A3A43"));
        t.main = colour(QStringLiteral("#8A8A96"));
        t.light = colour(QStringLiteral("#9A9AA6"));
        t.glow = colour(QStringLiteral("#4A4A54"));
        t.face = colour(QStringLiteral("#2C2C33"));
        t.faceEdge = colour(QStringLiteral("#222228"));
        t.highlight = colour(QStringLiteral("#E4E4EA"));
        t.ink = colour(QStringLiteral("#D2D2DA"));
    } else {
        t.washLeft = colour(palette.background);
        t.washRight = mix(colour(palette.chrome), colour(palette.brand400), 0.18);
        t.deep = colour(palette.brand700);
        t.main = colour(palette.brand);
        t.light = colour(palette.brand400);
        t.glow = colour(palette.gradientEnd);
        t.face = colour(QStringLiteral("#FFFFFF"));
        t.faceEdge = colour(palette.background);
        t.highlight = colour(QStringLiteral("#FFFFFF"));
        t.ink = t.deep;
    }
    return t;
}

QPointF polar(const QPointF &centre, double radius, double degrees)
{
    // 0 degrees points up, angles grow clockwise, as on a dial.
    const double a = qDegreesToRadians(degrees);
    return centre + QPointF(radius * std::sin(a), -radius * std::cos(a));
}

void radialGlow(QPainter &p, const QPointF &centre, double radius, const QColor &c)
{
    QRadialGradient g(centre, radius);
    g.setColorAt(0.0, c);
    g.setColorAt(1.0, alpha(c, 0));
    p.setPen(Qt::NoPen);
    p.setBrush(g);
    p.drawEllipse(centre, radius, radius);
}

// Fills an image `height` pixels high; the subjects are placed in the top 640 rows whatever the
// height, so a taller banner only adds background below them.
void paintBackground(QPainter &p, const Tones &t, quint32 seed, double height)
{
    QLinearGradient wash(0, 0, W, 0);
    wash.setColorAt(0.0, t.washLeft);
    wash.setColorAt(0.45, t.washLeft);
    wash.setColorAt(1.0, t.washRight);
    p.fillRect(QRectF(0, 0, W, height), wash);

    radialGlow(p, subjectCentre + QPointF(20, 30), 520, alpha(t.glow, t.dark ? 110 : 70));
    radialGlow(p, QPointF(W * 0.97, height * 0.92), 380, alpha(t.light, t.dark ? 60 : 55));
    radialGlow(p, QPointF(W * 0.58, height * 1.05), 300, alpha(t.main, t.dark ? 40 : 22));

    // Two broad ribbons sweeping up to the right, kept out of the left half.
    for (int i = 0; i < 2; ++i) {
        QPainterPath ribbon;
        const double y0 = height * (0.95 + 0.12 * i);
        ribbon.moveTo(W * 0.52, height + 40);
        ribbon.cubicTo(W * 0.62, y0 - 120, W * 0.78, height * (0.62 - 0.1 * i), W + 40,
                       height * (0.28 + 0.15 * i));
        ribbon.lineTo(W + 40, height + 40);
        ribbon.closeSubpath();
        QLinearGradient g(W * 0.5, height, W, height * 0.3);
        g.setColorAt(0.0, alpha(t.main, 0));
        g.setColorAt(1.0, alpha(i == 0 ? t.light : t.main, t.dark ? 70 : 45));
        p.setPen(Qt::NoPen);
        p.setBrush(g);
        p.drawPath(ribbon);
    }

    // The right edge ends in the chrome colour, where the cards' right edge meets the window.
    QLinearGradient edge(W * 0.9, 0, W, 0);
    edge.setColorAt(0.0, alpha(t.edge, 0));
    edge.setColorAt(1.0, t.edge);
    p.fillRect(QRectF(W * 0.9, 0, W * 0.1, height), edge);

    // Scattered specks on the right half only.
    QRandomGenerator random(seed);
    for (int i = 0; i < 46; ++i) {
        const double x = W * (0.56 + 0.44 * random.generateDouble());
        const double y = height * random.generateDouble();
        const double r = 2.5 + 7.0 * random.generateDouble();
        const int a = 50 + random.bounded(110);
        const QColor c = (i % 3 == 0) ? t.highlight : (i % 3 == 1 ? t.light : t.glow);
        p.setBrush(alpha(c, t.dark ? a / 2 : a));
        p.drawEllipse(QPointF(x, y), r, r);
    }
}

void softShadow(QPainter &p, const QPainterPath &shape, const Tones &t)
{
    for (int i = 6; i >= 1; --i) {
        p.setPen(QPen(alpha(t.deep, t.dark ? 18 : 9), i * 7.0, Qt::SolidLine, Qt::RoundCap,
                      Qt::RoundJoin));
        p.setBrush(Qt::NoBrush);
        p.drawPath(shape.translated(10, 18));
    }
    p.setPen(Qt::NoPen);
    p.setBrush(alpha(t.deep, t.dark ? 90 : 35));
    p.drawPath(shape.translated(10, 18));
}

QBrush faceBrush(const Tones &t, const QRectF &box)
{
    QLinearGradient g(box.topLeft(), box.bottomRight());
    g.setColorAt(0.0, t.face);
    g.setColorAt(1.0, t.faceEdge);
    return g;
}

QBrush accentBrush(const Tones &t, const QRectF &box)
{
    QLinearGradient g(box.topLeft(), box.bottomRight());
    g.setColorAt(0.0, t.main);
    g.setColorAt(1.0, t.glow);
    return g;
}

void paintClock(QPainter &p, const Tones &t)
{
    const QPointF c = subjectCentre;
    for (int i = 0; i < 2; ++i) {
        const double r = R + 48 + 52 * i;
        p.setPen(QPen(alpha(t.light, t.dark ? 90 : 110), 3));
        p.setBrush(Qt::NoBrush);
        p.drawEllipse(c, r, r);
        p.setPen(Qt::NoPen);
        p.setBrush(i == 0 ? t.main : t.glow);
        p.drawEllipse(polar(c, r, i == 0 ? 62 : 218), 11 - 3 * i, 11 - 3 * i);
    }
    QPainterPath face;
    face.addEllipse(c, R, R);
    softShadow(p, face, t);
    const QRectF box(c.x() - R, c.y() - R, 2 * R, 2 * R);
    p.setPen(QPen(accentBrush(t, box), 16));
    p.setBrush(faceBrush(t, box));
    p.drawPath(face);
    for (int h = 0; h < 12; ++h) {
        const bool quarter = h % 3 == 0;
        p.setPen(QPen(alpha(t.main, quarter ? 230 : 140), quarter ? 8 : 5, Qt::SolidLine,
                      Qt::RoundCap));
        p.drawLine(polar(c, R - (quarter ? 46 : 38), h * 30.0), polar(c, R - 26, h * 30.0));
    }
    p.setPen(QPen(t.ink, 13, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(c, polar(c, R * 0.46, 305));
    p.setPen(QPen(t.main, 9, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(c, polar(c, R * 0.7, 62));
    p.setPen(Qt::NoPen);
    p.setBrush(t.glow);
    p.drawEllipse(c, 14, 14);
    p.setBrush(t.face);
    p.drawEllipse(c, 5, 5);
}

void paintLock(QPainter &p, const Tones &t)
{
    const QPointF c = subjectCentre + QPointF(0, 62);
    const QRectF body(c.x() - 120, c.y() - 70, 240, 180);
    // An open shackle: the right leg lifted clear of the body.
    QPainterPath shackle;
    shackle.moveTo(body.left() + 52, body.top() + 6);
    shackle.lineTo(body.left() + 50, body.top() - 50);
    shackle.arcTo(QRectF(body.left() + 50, body.top() - 120, 140, 140), 180, -180);
    shackle.lineTo(body.left() + 190, body.top() - 34);
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(alpha(t.dark ? t.light : t.deep, 230), 30, Qt::SolidLine, Qt::RoundCap));
    p.drawPath(shackle.translated(0, -22));

    QPainterPath shape;
    shape.addRoundedRect(body, 40, 40);
    softShadow(p, shape, t);
    p.setPen(Qt::NoPen);
    p.setBrush(accentBrush(t, body));
    p.drawPath(shape);
    p.setBrush(alpha(t.highlight, t.dark ? 40 : 60));
    p.drawRoundedRect(body.adjusted(14, 14, -14, -body.height() * 0.55), 28, 28);

    const QPointF hole = body.center() + QPointF(0, -6);
    p.setBrush(t.dark ? t.face : t.highlight);
    p.drawEllipse(hole, 24, 24);
    p.drawRoundedRect(QRectF(hole.x() - 10, hole.y() + 6, 20, 50), 9, 9);

    // A dashed turn around the lock: the way back in.
    p.setBrush(Qt::NoBrush);
    QPen dash(alpha(t.main, t.dark ? 150 : 170), 6, Qt::CustomDashLine, Qt::RoundCap);
    dash.setDashPattern({ 0.1, 3.2 });
    p.setPen(dash);
    const double ring = R + 80;
    const QRectF arc(c.x() - ring, c.y() - 40 - ring, 2 * ring, 2 * ring);
    p.drawArc(arc, 200 * 16, -250 * 16);
}

void paintTowers(QPainter &p, const Tones &t)
{
    const QPointF c = subjectCentre;
    radialGlow(p, c + QPointF(215, -95), 100, alpha(t.highlight, t.dark ? 40 : 150));
    p.setPen(Qt::NoPen);
    p.setBrush(alpha(t.glow, t.dark ? 170 : 200));
    p.drawEllipse(c + QPointF(215, -95), 50, 50);

    const double ground = c.y() + 175;
    struct Tower
    {
        double dx, width, height;
        int tone;
    };
    const Tower towers[] = { { -205, 92, 210, 1 },
                             { -110, 108, 330, 0 },
                             { 6, 96, 262, 2 },
                             { 110, 116, 370, 3 },
                             { 232, 84, 190, 1 } };
    QPainterPath all;
    for (const Tower &tower : towers)
        all.addRoundedRect(QRectF(c.x() + tower.dx - tower.width / 2, ground - tower.height,
                                  tower.width, tower.height),
                           18, 18);
    softShadow(p, all, t);
    for (const Tower &tower : towers) {
        const QRectF box(c.x() + tower.dx - tower.width / 2, ground - tower.height, tower.width,
                         tower.height);
        const QColor tones[] = { t.main, t.light, t.glow, t.deep };
        QLinearGradient g(box.topLeft(), box.bottomLeft());
        g.setColorAt(0.0, tones[tower.tone]);
        g.setColorAt(1.0, mix(tones[tower.tone], t.deep, 0.35));
        p.setBrush(g);
        p.drawRoundedRect(box, 18, 18);
        p.setBrush(alpha(t.highlight, t.dark ? 70 : 150));
        for (double y = box.top() + 28; y < box.bottom() - 40; y += 34) {
            for (double x = box.left() + 20; x < box.right() - 20; x += 28)
                p.drawRoundedRect(QRectF(x, y, 12, 16), 4, 4);
        }
    }
    p.setBrush(alpha(t.deep, t.dark ? 140 : 70));
    p.drawRoundedRect(QRectF(c.x() - 290, ground - 4, 600, 12), 6, 6);
}

void paintStopwatch(QPainter &p, const Tones &t)
{
    const QPointF c = subjectCentre + QPointF(0, 30);
    const QRectF box(c.x() - R, c.y() - R, 2 * R, 2 * R);
    p.setPen(Qt::NoPen);
    p.setBrush(alpha(t.dark ? t.light : t.deep, 220));
    p.drawRoundedRect(QRectF(c.x() - 34, box.top() - 52, 68, 30), 12, 12);
    p.drawRect(QRectF(c.x() - 12, box.top() - 26, 24, 30));
    p.save();
    p.translate(polar(c, R + 8, 45));
    p.rotate(45);
    p.drawRoundedRect(QRectF(-16, -18, 32, 26), 8, 8);
    p.restore();

    QPainterPath face;
    face.addEllipse(box);
    softShadow(p, face, t);
    p.setPen(Qt::NoPen);
    p.setBrush(faceBrush(t, box));
    p.drawPath(face);

    const QRectF track = box.adjusted(28, 28, -28, -28);
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(alpha(t.light, t.dark ? 70 : 80), 22, Qt::SolidLine, Qt::RoundCap));
    p.drawEllipse(track);
    QConicalGradient sweep(c, 90);
    sweep.setColorAt(0.0, t.glow);
    sweep.setColorAt(0.7, t.main);
    sweep.setColorAt(1.0, t.glow);
    p.setPen(QPen(QBrush(sweep), 22, Qt::SolidLine, Qt::RoundCap));
    p.drawArc(track, 90 * 16, -250 * 16);

    p.setPen(QPen(t.ink, 9, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(c, polar(c, R * 0.55, 250));
    p.setPen(Qt::NoPen);
    p.setBrush(t.main);
    p.drawEllipse(c, 13, 13);
}

void paintPulse(QPainter &p, const Tones &t)
{
    const QPointF c = subjectCentre;
    // Flowing lines behind the subject, starting past the middle.
    for (int i = 0; i < 5; ++i) {
        QPainterPath wave;
        const double y = c.y() + 40 + i * 34;
        for (double x = W * 0.5; x <= W + 20; x += 20) {
            const double phase = (x - W * 0.5) / 140.0 + i * 0.7;
            const QPointF point(x, y + 38 * std::sin(phase) - (x - W * 0.5) * 0.12);
            if (wave.isEmpty())
                wave.moveTo(point);
            else
                wave.lineTo(point);
        }
        p.setPen(QPen(alpha(i % 2 ? t.light : t.highlight, 90 - i * 10), 4 - i * 0.4));
        p.setBrush(Qt::NoBrush);
        p.drawPath(wave);
    }
    for (int i = 3; i >= 1; --i) {
        p.setPen(Qt::NoPen);
        p.setBrush(alpha(t.light, 30 + 18 * (3 - i)));
        p.drawEllipse(c, R * (0.7 + 0.28 * i), R * (0.7 + 0.28 * i));
    }
    QPainterPath disc;
    disc.addEllipse(c, R * 0.78, R * 0.78);
    softShadow(p, disc, t);
    const QRectF box = disc.boundingRect();
    p.setPen(QPen(alpha(t.highlight, 230), 10));
    p.setBrush(accentBrush(t, box));
    p.drawPath(disc);
    p.setPen(QPen(t.highlight, 12, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(Qt::NoBrush);
    const double s = R * 0.5;
    p.drawPolyline(QPolygonF({ c + QPointF(-s, 8), c + QPointF(-s * 0.45, 8),
                               c + QPointF(-s * 0.2, -s * 0.6), c + QPointF(s * 0.15, s * 0.62),
                               c + QPointF(s * 0.4, -4), c + QPointF(s, -4) }));
}

// Paints a subject scaled about its vertical middle `from` and moved so that the middle lands at
// `to`; the subject keeps its horizontal place.
void placeSubject(QPainter &p, double from, double scale, double to,
                  const std::function<void()> &paint)
{
    p.save();
    p.translate(subjectCentre.x(), to);
    p.scale(scale, scale);
    p.translate(-subjectCentre.x(), -from);
    paint();
    p.restore();
}

} // namespace

QSize bannerSize(const QString &key)
{
    // The Tracker pages' cards are about 1.9 times as wide as high while active: a taller picture
    // covers them without zooming the subject out of view. The start page fits the height and
    // grows to its width, showing the top three quarters.
    if (key == QLatin1StringView("tracker") || key == QLatin1StringView("active"))
        return { bannerWidth, 880 };
    return { bannerWidth, bannerHeight };
}

QImage paintBanner(const QString &key, const UI::Theme::Palette &palette)
{
    const QSize size = bannerSize(key);
    QImage image(size, QImage::Format_RGB32);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    const Tones tones = tonesFor(palette);
    // qHash differs between processors (it may use AES instructions): a checksum does not.
    paintBackground(p, tones, qChecksum(key.toUtf8()), size.height());
    if (key == QLatin1StringView("login")) {
        paintClock(p, tones);
    } else if (key == QLatin1StringView("forgot")) {
        // The sign-in cards zoom in and show rows from about 45 (wider windows: 65) down to 380:
        // the lock and its dashed turn (rows -10 to 410 at full size) shrink into them.
        placeSubject(p, 200, 0.78, 250, [&] { paintLock(p, tones); });
    } else if (key == QLatin1StringView("company")) {
        placeSubject(p, 207, 0.8, 250, [&] { paintTowers(p, tones); });
    } else if (key == QLatin1StringView("tracker")) {
        // Lower in the taller picture, clear of the active card's top edge; the start page still
        // shows it whole.
        const double middle = subjectCentre.y();
        placeSubject(p, middle, 1.0, middle + 50, [&] { paintStopwatch(p, tones); });
    } else {
        const double middle = subjectCentre.y();
        placeSubject(p, middle, 1.0, middle + 90, [&] { paintPulse(p, tones); });
    }
    return image;
}

QImage paintAppIcon()
{
    QImage image(appIconSide, appIconSide, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF tile(16, 16, 224, 224);
    QLinearGradient g(tile.topLeft(), tile.bottomRight());
    g.setColorAt(0.0, colour(QStringLiteral("#F32062")));
    g.setColorAt(0.55, colour(QStringLiteral("#F52D63")));
    g.setColorAt(1.0, colour(QStringLiteral("#FF625B")));
    p.setPen(Qt::NoPen);
    p.setBrush(g);
    p.drawRoundedRect(tile, 54, 54);
    p.setBrush(QColor(255, 255, 255, 34));
    p.drawRoundedRect(QRectF(30, 28, 196, 88), 44, 44);

    const QPointF c(128, 140);
    const QColor white(Qt::white);
    p.setBrush(white);
    p.drawRoundedRect(QRectF(104, 48, 48, 16), 8, 8);
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(white, 17, Qt::SolidLine, Qt::RoundCap));
    p.drawEllipse(c, 66, 66);
    p.drawLine(c, polar(c, 36, 0));
    p.drawLine(c, polar(c, 30, 118));
    return image;
}

} // namespace ArtGen
