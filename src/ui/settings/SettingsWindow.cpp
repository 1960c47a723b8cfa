#include "ui/settings/SettingsWindow.h"

#include <QEvent>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QStackedWidget>
#include <QVBoxLayout>

#include "ui/common/Look.h"
#include "ui/settings/EventsPage.h"
#include "ui/settings/GeneralPage.h"
#include "ui/settings/PrivacyPage.h"
#include "ui/settings/SettingsForm.h"
#include "ui/settings/StatsPage.h"
#include "ui/settings/ThemesPage.h"
#include "ui/settings/WellbeingPage.h"

namespace tapwell::ui {

namespace {

constexpr int sidebarWidth = 184;
// Moves and resizes come in bursts while the user drags; the frame is written once it settles.
constexpr int frameSaveDelayMs = 400;

const char* pageTitleKey(SettingsPage page) {
    switch (page) {
        case SettingsPage::general:
            return "settings.page.general";
        case SettingsPage::themes:
            return "settings.page.themes";
        case SettingsPage::events:
            return "settings.page.events";
        case SettingsPage::wellbeing:
            return "settings.page.wellbeing";
        case SettingsPage::stats:
            return "settings.page.stats";
        case SettingsPage::privacy:
            return "settings.page.privacy";
    }
    return "settings.page.general";
}

SettingsPageView* makePage(SettingsPage page, AppModel& model) {
    switch (page) {
        case SettingsPage::general:
            return new GeneralPage(model);
        case SettingsPage::themes:
            return new ThemesPage(model);
        case SettingsPage::events:
            return new EventsPage(model);
        case SettingsPage::wellbeing:
            return new WellbeingPage(model);
        case SettingsPage::stats:
            return new StatsPage(model);
        case SettingsPage::privacy:
            return new PrivacyPage(model);
    }
    return nullptr;
}

// The strip above the page that carries a failure until it is dismissed.
class Banner final : public QWidget {
  public:
    using QWidget::QWidget;

  protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        const QColor error =
            isDark(palette()) ? QColor(0xff, 0x8a, 0x80) : QColor(0xb3, 0x1b, 0x1b);
        painter.setPen(QPen(blend(palette().color(QPalette::Window), error, 0.55), 1.0));
        painter.setBrush(blend(palette().color(QPalette::Window), error, 0.10));
        painter.drawRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), 8, 8);
    }
};

// The sidebar's column: a shade off the window, with a hairline towards the page.
class SidePanel final : public QWidget {
  public:
    using QWidget::QWidget;

  protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        const QColor window = palette().color(QPalette::Window);
        const QColor text = palette().color(QPalette::WindowText);
        painter.fillRect(rect(), blend(window, text, isDark(palette()) ? 0.035 : 0.03));
        painter.fillRect(QRect(width() - 1, 0, 1, height()), blend(window, text, 0.16));
    }
};

}  // namespace

SettingsWindow::SettingsWindow(AppModel& model, QWidget* parent)
    : QWidget(parent, Qt::Window), model_(model) {
    setObjectName(QStringLiteral("settingsWindow"));
    setMinimumSize(minimumContentSize);

    sidebar_ = new QListWidget(this);
    sidebar_->setObjectName(QStringLiteral("sidebar"));
    sidebar_->setFixedWidth(sidebarWidth);
    sidebar_->setFrameShape(QFrame::NoFrame);
    sidebar_->setSpacing(2);
    sidebar_->setUniformItemSizes(true);
    sidebar_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    // The list lies on the side panel's shade.
    sidebar_->viewport()->setAutoFillBackground(false);
    sidebar_->setAutoFillBackground(false);
    QFont sidebarFont = sidebar_->font();
    sidebarFont.setPointSizeF(sidebarFont.pointSizeF() * 1.05);
    sidebar_->setFont(sidebarFont);

    stack_ = new QStackedWidget(this);
    stack_->setObjectName(QStringLiteral("pages"));
    for (const SettingsPage kind : allSettingsPages) {
        SettingsPageView* page = makePage(kind, model_);
        page->setObjectName(QStringLiteral("page:") + QString::fromLatin1(toString(kind)));
        auto* scroll = new QScrollArea(stack_);
        scroll->setWidget(page);
        scroll->setWidgetResizable(true);
        scroll->setFrameShape(QFrame::NoFrame);
        scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        stack_->addWidget(scroll);
        pages_.push_back(page);
        auto* item = new QListWidgetItem(sidebar_);
        item->setSizeHint(QSize(sidebarWidth - 16, 34));
    }
    connect(sidebar_, &QListWidget::currentRowChanged, stack_, &QStackedWidget::setCurrentIndex);

    banner_ = new Banner(this);
    banner_->setObjectName(QStringLiteral("serviceBanner"));
    bannerText_ = new QLabel(banner_);
    bannerText_->setObjectName(QStringLiteral("serviceError"));
    bannerText_->setWordWrap(true);
    bannerText_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    bannerDismiss_ = makeButton(banner_, "dismissServiceError");
    connect(bannerDismiss_, &QPushButton::clicked, this, [this] { model_.clearServiceError(); });
    auto* bannerLayout = new QHBoxLayout(banner_);
    bannerLayout->setContentsMargins(14, 8, 8, 8);
    bannerLayout->addWidget(bannerText_, 1);
    bannerLayout->addWidget(bannerDismiss_, 0, Qt::AlignVCenter);

    auto* sidePanel = new SidePanel(this);
    auto* sideColumn = new QVBoxLayout(sidePanel);
    sideColumn->setContentsMargins(10, 14, 10, 14);
    sideColumn->addWidget(sidebar_);

    auto* mainColumn = new QVBoxLayout;
    mainColumn->setContentsMargins(0, 0, 0, 0);
    mainColumn->setSpacing(0);
    auto* bannerBox = new QVBoxLayout;
    bannerBox->setContentsMargins(24, 14, 24, 0);
    bannerBox->addWidget(banner_);
    mainColumn->addLayout(bannerBox);
    mainColumn->addWidget(stack_, 1);

    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(sidePanel);
    layout->addLayout(mainColumn, 1);

    // Keyboard: the sidebar first, then the page's controls.
    setTabOrder(sidebar_, stack_);
    sidebar_->setCurrentRow(0);

    frameSaver_.setSingleShot(true);
    frameSaver_.setInterval(frameSaveDelayMs);
    connect(&frameSaver_, &QTimer::timeout, this, &SettingsWindow::saveFrame);

    connect(&model_, &AppModel::localizationChanged, this, &SettingsWindow::retranslate);
    connect(&model_, &AppModel::serviceErrorChanged, this, &SettingsWindow::showServiceError);
    retranslate();
    showServiceError();
    tintErrors(this);
    restoreFrame();
}

SettingsWindow::~SettingsWindow() = default;

void SettingsWindow::showPage(SettingsPage page) {
    sidebar_->setCurrentRow(static_cast<int>(page));
}

SettingsPage SettingsWindow::currentPage() const {
    return allSettingsPages[std::clamp(sidebar_->currentRow(), 0, 5)];
}

SettingsPageView* SettingsWindow::page(SettingsPage page) const {
    return pages_[static_cast<std::size_t>(page)];
}

void SettingsWindow::retranslate() {
    setWindowTitle(model_.text("app.name"));
    sidebar_->setAccessibleName(model_.text("settings.sidebar"));
    for (const SettingsPage kind : allSettingsPages) {
        const auto index = static_cast<int>(kind);
        sidebar_->item(index)->setText(model_.text(pageTitleKey(kind)));
        pages_[static_cast<std::size_t>(index)]->retranslate();
    }
    bannerDismiss_->setText(model_.text("settings.dismiss"));
    bannerDismiss_->setAccessibleName(bannerDismiss_->text());
}

void SettingsWindow::showServiceError() {
    const auto& error = model_.state().serviceError();
    bannerText_->setText(error ? qstr(*error) : QString());
    banner_->setVisible(error.has_value());
}

void SettingsWindow::changeEvent(QEvent* event) {
    if (event->type() == QEvent::PaletteChange) {
        tintErrors(this);
    }
    QWidget::changeEvent(event);
}

void SettingsWindow::restoreFrame() {
    const QByteArray frame = model_.windowFrame(QString::fromLatin1(frameName));
    if (!frame.isEmpty() && restoreGeometry(frame)) {
        resize(size().expandedTo(minimumContentSize));
    } else {
        resize(contentSize);
        if (const QScreen* screen = QGuiApplication::primaryScreen()) {
            QRect frameRect(QPoint(), contentSize);
            frameRect.moveCenter(screen->availableGeometry().center());
            move(frameRect.topLeft());
        }
    }
    restored_ = true;
}

void SettingsWindow::saveFrame() {
    frameSaver_.stop();
    if (restored_) {
        model_.setWindowFrame(QString::fromLatin1(frameName), saveGeometry());
    }
}

void SettingsWindow::hideEvent(QHideEvent* event) {
    saveFrame();
    QWidget::hideEvent(event);
}

void SettingsWindow::moveEvent(QMoveEvent* event) {
    if (restored_ && isVisible()) {
        frameSaver_.start();
    }
    QWidget::moveEvent(event);
}

void SettingsWindow::resizeEvent(QResizeEvent* event) {
    if (restored_ && isVisible()) {
        frameSaver_.start();
    }
    QWidget::resizeEvent(event);
}

}  // namespace tapwell::ui
