#include "ui/signin/CompanySelectionView.h"

#include "ui/signin/AuthCard.h"
#include "ui/signin/LoginFlow.h"
#include "ui/signin/SignInStyle.h"
#include "ui/theme/Theme.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QScrollArea>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace UI {

namespace {

// A push button whose size follows the layout it carries, so long names wrap onto more lines.
class CompanyRowButton final : public QPushButton
{
public:
    using QPushButton::QPushButton;

    QSize sizeHint() const override
    {
        if (layout() == nullptr)
            return QPushButton::sizeHint();
        return layout()->sizeHint().expandedTo(minimumSize());
    }

    QSize minimumSizeHint() const override
    {
        if (layout() == nullptr)
            return QPushButton::minimumSizeHint();
        return layout()->minimumSize();
    }

    int heightForWidth(int width) const override
    {
        if (layout() == nullptr)
            return QWidget::heightForWidth(width);
        return std::max(layout()->totalHeightForWidth(width), 52);
    }

    bool hasHeightForWidth() const override
    {
        return layout() != nullptr ? layout()->hasHeightForWidth() : false;
    }
};

QLabel *iconLabel(const QString &symbol, int size, QWidget *parent)
{
    auto *label = new QLabel(parent);
    followPalette(label, [label, symbol, size] {
        label->setPixmap(Theme::icon(symbol, Theme::brandColor, size).pixmap(size, size));
    });
    return label;
}

} // namespace

CompanySelectionView::CompanySelectionView(QWidget *parent)
    : QWidget(parent)
{
    auto *pageLayout = new QVBoxLayout(this);
    pageLayout->setContentsMargins(0, 0, 0, 0);
    pageLayout->setSpacing(0);
    QScrollArea *scroll = makePageScrollArea(this);
    pageLayout->addWidget(scroll);

    auto *content = new QWidget;
    auto *contentLayout = new QVBoxLayout(content);
    contentLayout->setContentsMargins(16, 16, 16, 16);
    contentLayout->setSpacing(0);
    scroll->setWidget(content);

    QWidget *card = makePanelCard(content);
    contentLayout->addWidget(card);
    addHeroBanner(card, u"company"_s, 0.58, 0.72, 0.2);

    auto *body = new QWidget(card);
    auto *bodyLayout = new QVBoxLayout(body);
    bodyLayout->setContentsMargins(20, 20, 20, 20);
    bodyLayout->setSpacing(12);
    card->layout()->addWidget(body);

    m_titleLabel = new QLabel(u"Select Company"_s, body);
    setCardTitleFont(m_titleLabel);
    bodyLayout->addWidget(m_titleLabel);

    m_subtitleLabel = new QLabel(body);
    m_subtitleLabel->setTextFormat(Qt::PlainText);
    m_subtitleLabel->setWordWrap(true);
    m_subtitleLabel->setProperty("secondary", true);
    bodyLayout->addWidget(m_subtitleLabel);

    m_listWidget = new QWidget(body);
    m_listWidget->setObjectName(u"CompanySelection_List"_s);
    m_listLayout = new QVBoxLayout(m_listWidget);
    m_listLayout->setContentsMargins(0, 0, 0, 0);
    m_listLayout->setSpacing(12);
    bodyLayout->addWidget(m_listWidget);

    m_errorLabel = makeErrorLabel(u"CompanySelection_ErrorLabel"_s, body);
    bodyLayout->addWidget(m_errorLabel);

    auto *footer = new QHBoxLayout;
    footer->setSpacing(8);
    QLabel *infoIcon = iconLabel(u"info-circle"_s, 14, body);
    infoIcon->setContentsMargins(0, 1, 0, 0);
    footer->addWidget(infoIcon, 0, Qt::AlignTop);
    auto *footerText = new QLabel(body);
    footerText->setTextFormat(Qt::RichText);
    footerText->setWordWrap(true);
    footerText->setStyleSheet(u"font-size: 12px;"_s);
    footer->addWidget(footerText, 1, Qt::AlignTop);
    bodyLayout->addLayout(footer);
    bodyLayout->addStretch();

    followPalette(this, [this, footerText] {
        m_titleLabel->setStyleSheet(colourStyleSheet(Theme::textColor));
        footerText->setText(u"<span style='color:%1;'>Your company isn't listed? </span><span "
                            u"style='color:%2;'>Contact the administrator</span><span "
                            u"style='color:%1;'> of your company.</span>"_s.arg(
                                    Theme::textColor, Theme::brandTextColor));
    });
}

void CompanySelectionView::setCompanies(const QList<Models::LoginCompany> &companies,
                                        const QString &userName)
{
    m_subtitleLabel->setText(
            u"Hi %1, you have access to multiple companies. Select one to continue."_s.arg(
                    userName));
    m_errorLabel->hide();

    const Core::LoginFlow::OrderedCompanies ordered = Core::LoginFlow::orderCompanies(
            companies, Core::LoginFlow::lastSelectedCompanyEndpoint());
    m_companies = ordered.companies;

    while (QLayoutItem *item = m_listLayout->takeAt(0)) {
        if (QWidget *row = item->widget())
            row->deleteLater();
        delete item;
    }

    for (const Models::LoginCompany &company : std::as_const(m_companies)) {
        const bool recent = ordered.preselectedEndpoint.has_value()
                            && *ordered.preselectedEndpoint == company.endpoint;
        m_listLayout->addWidget(makeRow(company, recent));
    }
}

void CompanySelectionView::showError(const QString &text)
{
    setWrappingText(m_errorLabel, text);
    m_errorLabel->setVisible(!text.isEmpty());
}

QWidget *CompanySelectionView::makeRow(const Models::LoginCompany &company, bool recent)
{
    auto *row = new CompanyRowButton(m_listWidget);
    row->setObjectName(u"companyRow"_s);
    row->setCursor(Qt::PointingHandCursor);
    row->setAccessibleName(company.name);

    auto *layout = new QHBoxLayout(row);
    layout->setContentsMargins(14, 12, 14, 12);
    layout->setSpacing(12);
    QSizePolicy policy(QSizePolicy::Preferred, QSizePolicy::Minimum);
    policy.setHeightForWidth(true);
    row->setSizePolicy(policy);

    layout->addWidget(iconLabel(u"building"_s, 15, row));

    auto *name = new QLabel(company.name, row);
    name->setTextFormat(Qt::PlainText);
    name->setWordWrap(true);
    name->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    name->setAttribute(Qt::WA_TransparentForMouseEvents);
    layout->addWidget(name, 1);

    QLabel *recentLabel = nullptr;
    if (recent) {
        auto *pill = new QWidget(row);
        pill->setAttribute(Qt::WA_StyledBackground, true);
        pill->setProperty("recentpill", true);
        auto *pillLayout = new QHBoxLayout(pill);
        pillLayout->setContentsMargins(7, 3, 7, 3);
        pillLayout->setSpacing(3);
        pillLayout->addWidget(iconLabel(u"clock"_s, 9, pill));
        recentLabel = new QLabel(u"Recent"_s, pill);
        pillLayout->addWidget(recentLabel);
        layout->addWidget(pill);
    }
    layout->addWidget(iconLabel(u"chevron-right"_s, 11, row));

    followPalette(row, [row, name, recentLabel] {
        const Theme::Palette &palette = Theme::currentPalette();
        row->setStyleSheet(u"QPushButton#companyRow { text-align: left; background: %1; border: "
                           u"1px solid %2; border-radius: 16px; padding: 0; min-height: %5px; "
                           u"}QPushButton#companyRow:hover { background: %3; border: 1px solid "
                           u"%4; }"_s.arg(palette.surface, palette.border, palette.chrome,
                                          palette.brand400, QString::number(50)));
        name->setStyleSheet(
                u"color: %1; font-size: 13px; font-weight: 500;"_s.arg(Theme::textColor));
        if (recentLabel != nullptr)
            recentLabel->setStyleSheet(
                    u"color: %1; font-size: 10px; font-weight: 600;"_s.arg(Theme::brandTextColor));
    });

    connect(row, &QPushButton::clicked, this, [this, company] { onRowClicked(company); });
    return row;
}

void CompanySelectionView::onRowClicked(const Models::LoginCompany &company)
{
    m_errorLabel->hide();
    Core::LoginFlow::saveLastSelectedCompanyEndpoint(company.endpoint);
    if (onCompanySelected)
        onCompanySelected(company);
}

} // namespace UI
