// The Appearance, Version and Diagnostics cards: palette swatches, the on-demand update check,
// the log export, and the greeting list.
#include "ui/main/SettingsView.h"

#include "core/AppStateManager.h"
#include "core/AppVersion.h"
#include "core/SessionManager.h"
#include "models/RemoteConfig.h"
#include "services/server/RemoteConfigService.h"
#include "storage/Log.h"
#include "ui/main/PlainLabel.h"
#include "ui/main/RunOnPool.h"
#include "ui/main/UpdateCheckAnswer.h"
#include "ui/theme/Theme.h"

#include <QApplication>
#include <QDateTime>
#include <QDir>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QStandardPaths>
#include <QVBoxLayout>

#include <utility>
#include <variant>

namespace UI {

namespace {

constexpr int kSwatchSize = 36;
constexpr int kGlyphSize = 13;
constexpr int kRefreshIconSize = 15;
const QString kSmallMutedStyle = QStringLiteral("color: #6e6e73; font-size: 11px;");

QPixmap swatchPixmap(const Theme::Palette &palette, bool selected)
{
    QPixmap pixmap(kSwatchSize, kSwatchSize);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF disc(2, 2, 32, 32);
    const QColor brand = QColor::fromString(palette.brand);
    painter.setPen(Qt::NoPen);
    painter.setBrush(brand);
    painter.drawEllipse(disc);
    painter.setBrush(Qt::NoBrush);
    painter.setPen(selected ? QPen(brand, 2) : QPen(QColor::fromString(Theme::borderColor), 1));
    painter.drawEllipse(disc);
    if (selected) {
        painter.drawPixmap(
                10, 10,
                Theme::icon(QStringLiteral("check-circle"), QStringLiteral("#ffffff"), 16)
                        .pixmap(16, 16));
    }
    return pixmap;
}

} // namespace

const QStringList &SettingsView::greetings()
{
    static const QStringList list{
        QStringLiteral("Hello"),
        QStringLiteral("Hi"),
        QStringLiteral("Hey"),
        QStringLiteral("Halo"),
        QStringLiteral("Hai"),
        QStringLiteral("Assalamualaikum"),
        QStringLiteral("Bonjour"),
        QStringLiteral("Salut"),
        QStringLiteral("Hola"),
        QStringLiteral("Buenos días"),
        QStringLiteral("Buenas"),
        QStringLiteral("Olá"),
        QStringLiteral("Oi"),
        QStringLiteral("Ciao"),
        QStringLiteral("Salve"),
        QStringLiteral("Hallo"),
        QStringLiteral("Guten Tag"),
        QStringLiteral("Servus"),
        QStringLiteral("Grüß Gott"),
        QStringLiteral("Hoi"),
        QStringLiteral("Dag"),
        QStringLiteral("Hej"),
        QStringLiteral("Tjena"),
        QStringLiteral("Hei"),
        QStringLiteral("Halló"),
        QStringLiteral("Moi"),
        QStringLiteral("Terve"),
        QStringLiteral("Privet"),
        QStringLiteral("Zdravstvuyte"),
        QStringLiteral("Cześć"),
        QStringLiteral("Dzień dobry"),
        QStringLiteral("Ahoj"),
        QStringLiteral("Dobrý den"),
        QStringLiteral("Szia"),
        QStringLiteral("Jó napot"),
        QStringLiteral("Bună"),
        QStringLiteral("Γεια"),
        QStringLiteral("Γεια σου"),
        QStringLiteral("Merhaba"),
        QStringLiteral("Selam"),
        QStringLiteral("Shalom"),
        QStringLiteral("Namaste"),
        QStringLiteral("Namaskar"),
        QStringLiteral("Sat Sri Akal"),
        QStringLiteral("Kem cho"),
        QStringLiteral("Vanakkam"),
        QStringLiteral("Namaskaram"),
        QStringLiteral("Ayubowan"),
        QStringLiteral("Nǐ hǎo"),
        QStringLiteral("Nín hǎo"),
        QStringLiteral("Hā lóu"),
        QStringLiteral("Hāi"),
        QStringLiteral("Konnichiwa"),
        QStringLiteral("Yaa"),
        QStringLiteral("Moshi moshi"),
        QStringLiteral("Annyeonghaseyo"),
        QStringLiteral("Annyeong"),
        QStringLiteral("Xin chào"),
        QStringLiteral("Chào bạn"),
        QStringLiteral("Sawasdee"),
        QStringLiteral("Kumusta"),
        QStringLiteral("Mabuhay"),
        QStringLiteral("Selamat pagi"),
        QStringLiteral("Apa khabar"),
        QStringLiteral("Salam"),
        QStringLiteral("Salam Alaikum"),
        QStringLiteral("Zdravo"),
        QStringLiteral("Bok"),
        QStringLiteral("Pozdrav"),
        QStringLiteral("Jambo"),
        QStringLiteral("Habari"),
        QStringLiteral("Sawubona"),
        QStringLiteral("Dumela"),
        QStringLiteral("Molo"),
        QStringLiteral("Shikamoo"),
        QStringLiteral("Kia ora"),
        QStringLiteral("Talofa"),
        QStringLiteral("Bula"),
        QStringLiteral("Aloha"),
        QStringLiteral("Håfa adai"),
        QStringLiteral("Yá'át'ééh"),
        QStringLiteral("Hej hej"),
        QStringLiteral("Ogenki desu ka"),
        QStringLiteral("Selamün aleyküm"),
        QStringLiteral("Salam sejahtera"),
        QStringLiteral("Sannu"),
        QStringLiteral("Mbote"),
        QStringLiteral("Ndewo"),
        QStringLiteral("Hola qué tal"),
        QStringLiteral("Hey there"),
        QStringLiteral("Yo"),
        QStringLiteral("Sup"),
    };
    return list;
}

void SettingsView::buildAppearanceSection(QWidget *content)
{
    QWidget *card = makeSectionCard(content, QStringLiteral("photo"), QStringLiteral("APPEARANCE"));
    auto *layout = static_cast<QVBoxLayout *>(card->layout());

    auto *caption = plainLabel(QStringLiteral("Color Palette"), card);
    caption->setProperty("secondary", true);
    layout->addWidget(caption);

    auto *row = new QHBoxLayout;
    row->setSpacing(6);
    for (const Theme::Palette &palette : Theme::palettes()) {
        auto *column = new QVBoxLayout;
        column->setSpacing(3);
        auto *swatch = new QPushButton(card);
        swatch->setObjectName(QStringLiteral("paletteSwatch"));
        swatch->setAccessibleName(QStringLiteral("Palette %1").arg(palette.displayName));
        swatch->setToolTip(palette.displayName);
        swatch->setCursor(Qt::PointingHandCursor);
        swatch->setFixedSize(kSwatchSize, kSwatchSize);
        swatch->setIconSize(QSize(kSwatchSize, kSwatchSize));
        swatch->setProperty("paletteId", palette.id);
        m_paletteSwatches.append(swatch);
        const QString id = palette.id;
        connect(swatch, &QPushButton::clicked, this, [this, id] { onPaletteSwatchClicked(id); });
        column->addWidget(swatch, 0, Qt::AlignHCenter);
        auto *name = plainLabel(palette.displayName, card);
        name->setStyleSheet(QStringLiteral("font-size: 9px; color: %1;").arg(Theme::mutedColor));
        column->addWidget(name, 0, Qt::AlignHCenter);
        row->addLayout(column);
    }
    row->addStretch();
    layout->addLayout(row);

    restyleLinkButtons();
    updatePaletteSwatches();
}

void SettingsView::onPaletteSwatchClicked(const QString &paletteId)
{
    Theme::applyPalette(*qApp, paletteId);
    updatePaletteSwatches();
}

void SettingsView::updatePaletteSwatches()
{
    const QString currentId = Theme::currentPalette().id;
    for (QPushButton *swatch : std::as_const(m_paletteSwatches)) {
        const QString id = swatch->property("paletteId").toString();
        swatch->setStyleSheet(QStringLiteral("QPushButton#paletteSwatch { background: transparent; "
                                             "border: none; padding: 0; }"));
        swatch->setIcon(swatchPixmap(Theme::paletteById(id), id == currentId));
    }
}

void SettingsView::onPaletteChanged()
{
    const QList<QLabel *> labels = findChildren<QLabel *>();
    for (QLabel *label : labels) {
        const QVariant glyph = label->property("glyph");
        if (!glyph.isValid())
            continue;
        label->setPixmap(Theme::icon(glyph.toString(), Theme::brandColor, kGlyphSize)
                                 .pixmap(kGlyphSize, kGlyphSize));
    }
    m_checkUpdateButton->setIcon(
            Theme::icon(QStringLiteral("refresh"), Theme::brandColor, kRefreshIconSize));
    updatePaletteSwatches();
}

void SettingsView::buildVersionSection(QWidget *content)
{
    QWidget *card = makeSectionCard(content, QStringLiteral("number"), QStringLiteral("VERSION"));
    auto *layout = static_cast<QVBoxLayout *>(card->layout());

    m_versionLabel = plainLabel(card);
    m_versionLabel->setObjectName(QStringLiteral("Settings_VersionLabel"));
    layout->addWidget(m_versionLabel);

    auto *row = new QHBoxLayout;
    m_checkUpdateButton = new QPushButton(QStringLiteral("Check update"), card);
    m_checkUpdateButton->setObjectName(QStringLiteral("Settings_CheckUpdateButton"));
    m_checkUpdateButton->setIcon(
            Theme::icon(QStringLiteral("refresh"), Theme::brandColor, kRefreshIconSize));
    connect(m_checkUpdateButton, &QPushButton::clicked, this, &SettingsView::onCheckUpdateClicked);
    row->addWidget(m_checkUpdateButton);
    m_updateStatusLabel = plainLabel(card);
    m_updateStatusLabel->setObjectName(QStringLiteral("Settings_UpdateStatusLabel"));
    m_updateStatusLabel->setProperty("muted", true);
    m_updateStatusLabel->setStyleSheet(QStringLiteral("font-size: 11px;"));
    connect(UpdateCheckAnswer::instance(), &UpdateCheckAnswer::answered, m_updateStatusLabel,
            [label = m_updateStatusLabel](UpdateCheckAnswer::Result result) {
                label->setText(UpdateCheckAnswer::text(result));
            });
    row->addWidget(m_updateStatusLabel);
    row->addStretch();
    layout->addLayout(row);
}

void SettingsView::refreshVersion()
{
    m_versionLabel->setText(
            QStringLiteral("Version %1 (%2)").arg(Core::appVersion(), Core::appBuildNumber()));
    m_checkUpdateButton->setEnabled(!m_checkingUpdate
                                    && Core::AppStateManager::instance().isAuthenticated());
    m_checkUpdateButton->setText(m_checkingUpdate ? QStringLiteral("Checking…")
                                                  : QStringLiteral("Check update"));
}

void SettingsView::onCheckUpdateClicked()
{
    if (m_checkingUpdate)
        return;
    m_checkingUpdate = true;
    m_updateStatusLabel->clear();
    refreshVersion();

    runOnPool(
            this, [] { return Services::RemoteConfigService::instance().fetchConfig(); },
            [this](const PoolResult<Models::RemoteConfig> &result) {
                m_checkingUpdate = false;
                auto &state = Core::AppStateManager::instance();
                const auto *config = std::get_if<Models::RemoteConfig>(&result);
                // A configuration that arrives after a sign-out belongs to nobody: applying it
                // would hand a signed-out engine a company's settings.
                const bool applied = config && state.isAuthenticated();
                if (applied) {
                    state.setRemoteConfig(*config);
                    m_engine.applyRemoteConfig(*config);
                }
                // Through the shared answer, which sets the label like the tray's answers do.
                UpdateCheckAnswer::instance()->announceCheck(applied, state.forceClientUpdate());
                refreshVersion();
            });
}

void SettingsView::buildDiagnosticsSection(QWidget *content)
{
    QWidget *card
            = makeSectionCard(content, QStringLiteral("sessions"), QStringLiteral("DIAGNOSTICS"));
    auto *layout = static_cast<QVBoxLayout *>(card->layout());

    auto *explanation = plainLabel(
            QStringLiteral("Export the app logs to share with support. Tokens are redacted."),
            card);
    explanation->setWordWrap(true);
    explanation->setStyleSheet(kSmallMutedStyle);
    layout->addWidget(explanation);

    auto *row = new QHBoxLayout;
    m_exportLogsButton = new QPushButton(QStringLiteral("Export logs…"), card);
    m_exportLogsButton->setObjectName(QStringLiteral("Settings_ExportLogsButton"));
    connect(m_exportLogsButton, &QPushButton::clicked, this, &SettingsView::onExportLogsClicked);
    row->addWidget(m_exportLogsButton);
    m_exportStatusLabel = plainLabel(card);
    m_exportStatusLabel->setObjectName(QStringLiteral("Settings_ExportStatusLabel"));
    m_exportStatusLabel->setWordWrap(true);
    m_exportStatusLabel->setStyleSheet(kSmallMutedStyle);
    row->addWidget(m_exportStatusLabel);
    row->addStretch();
    layout->addLayout(row);
}

void SettingsView::onExportLogsClicked()
{
    const QString stamp = QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"));
    const QString fileName = QStringLiteral("tembrix-clockwarden-log-%1.txt").arg(stamp);
    QString folder = QStandardPaths::writableLocation(QStandardPaths::DesktopLocation);
    if (folder.isEmpty())
        folder = QStandardPaths::writableLocation(QStandardPaths::HomeLocation);

    const QString path = QFileDialog::getSaveFileName(
            this, QStringLiteral("Export logs"), QDir(folder).filePath(fileName),
            QStringLiteral("Log files (*.txt);;All files (*)"));
    if (path.isEmpty())
        return;

    QString error;
    if (Core::Log::exportTo(path, &error))
        m_exportStatusLabel->setText(QStringLiteral("Saved (secrets redacted)."));
    else
        m_exportStatusLabel->setText(QStringLiteral("Export failed: %1").arg(error));
}

} // namespace UI
