#include "ui/onboarding/OnboardingWindow.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QShortcut>
#include <QStackedWidget>
#include <QVBoxLayout>

#include <algorithm>

#include "core/Clock.h"
#include "ui/common/Look.h"
#include "ui/onboarding/AccessStep.h"
#include "ui/onboarding/FinishStep.h"
#include "ui/onboarding/PrivacyStep.h"
#include "ui/onboarding/TryOutStep.h"

namespace tapwell::ui {

// A row of dots, one per step, the current one filled and wider.
class StepDots final : public QWidget {
  public:
    explicit StepDots(QWidget* parent) : QWidget(parent) {
        setObjectName(QStringLiteral("stepDots"));
        setFixedSize(OnboardingWindow::stepCount * (dot + gap) + current, dot);
    }

    void setStep(int step) {
        step_ = step;
        update();
    }

  protected:
    void paintEvent(QPaintEvent* /*event*/) override {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(Qt::NoPen);
        const QPalette& colors = palette();
        double x = 0;
        for (int i = 0; i < OnboardingWindow::stepCount; ++i) {
            const bool isCurrent = i == step_;
            const double width = isCurrent ? dot + current : dot;
            painter.setBrush(isCurrent ? colors.color(QPalette::Highlight)
                                       : blend(colors.color(QPalette::Window),
                                               colors.color(QPalette::WindowText), 0.25));
            painter.drawRoundedRect(QRectF(x, 0, width, dot), dot / 2.0, dot / 2.0);
            x += width + gap;
        }
    }

  private:
    static constexpr int dot = 8;
    static constexpr int gap = 6;
    static constexpr int current = 14;  // how much wider the current step's dot is
    int step_ = 0;
};

namespace {

constexpr QSize windowSize(680, 560);

QPushButton* makeButton(QWidget* parent, const char* name) {
    auto* button = new QPushButton(parent);
    button->setObjectName(QString::fromLatin1(name));
    // Return presses the focused button (below), never a default one.
    button->setAutoDefault(false);
    return button;
}

}  // namespace

OnboardingWindow::OnboardingWindow(AppModel& model, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowCloseButtonHint),
      model_(model),
      scanCodes_(scanCodesOf(QGuiApplication::platformName())),
      uptime_([] { return SystemClock::shared().uptime(); }) {
    setObjectName(QStringLiteral("onboardingWindow"));
    setFixedSize(windowSize);
    build();
    retranslate();
    showStep();

    connect(&model_, &AppModel::onboardingChanged, this, &OnboardingWindow::showStep);
    connect(&model_, &AppModel::inputAvailableChanged, this, &OnboardingWindow::orderFocus);
    connect(&model_, &AppModel::themesChanged, this, &OnboardingWindow::orderFocus);
    connect(&model_, &AppModel::localizationChanged, this, &OnboardingWindow::retranslate);
    auto* closeShortcut = new QShortcut(QKeySequence::Close, this);
    connect(closeShortcut, &QShortcut::activated, this, &QWidget::close);
}

OnboardingWindow::~OnboardingWindow() {
    qApp->removeEventFilter(this);
}

void OnboardingWindow::build() {
    dots_ = new StepDots(this);
    stack_ = new QStackedWidget(this);
    steps_ = {new TryOutStep(model_, stack_), new AccessStep(model_, stack_),
              new PrivacyStep(model_, stack_), new FinishStep(model_, stack_)};
    for (OnboardingStep* step : steps_) {
        stack_->addWidget(step);
    }

    skip_ = makeButton(this, "skip");
    skip_->setFlat(true);
    back_ = makeButton(this, "back");
    next_ = makeButton(this, "next");
    finish_ = makeButton(this, "finish");
    connect(skip_, &QPushButton::clicked, this, &QWidget::close);
    connect(finish_, &QPushButton::clicked, this, &QWidget::close);
    connect(back_, &QPushButton::clicked, this,
            [this] { model_.setOnboardingStep(std::max(0, shownStep() - 1)); });
    connect(next_, &QPushButton::clicked, this,
            [this] { model_.setOnboardingStep(std::min(stepCount - 1, shownStep() + 1)); });

    auto* footer = new QHBoxLayout;
    footer->setSpacing(8);
    // The flat Skip's text starts where its padding ends: move it out by that much.
    footer->addSpacing(-14);
    footer->addWidget(skip_);
    footer->addStretch(1);
    footer->addWidget(back_);
    footer->addWidget(next_);
    footer->addWidget(finish_);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(36, 28, 36, 24);
    layout->setSpacing(0);
    layout->addWidget(dots_);
    layout->addSpacing(20);
    layout->addWidget(stack_, 1);
    layout->addSpacing(16);
    layout->addLayout(footer);
}

void OnboardingWindow::retranslate() {
    setWindowTitle(model_.text("app.name"));
    // Back and Next keep one width, so the way on stays in place from step to step.
    constexpr int footerWidth = 88;
    setButtonText(*back_, model_.text("onboarding.back"), footerWidth);
    setButtonText(*next_, model_.text("onboarding.next"), footerWidth);
    setButtonText(*finish_, model_.text("onboarding.finish"), footerWidth);
    // Skip is flat: snug around its text, which then lines up with the steps' left edge.
    setButtonText(*skip_, model_.text("onboarding.skip"));
    skip_->setFixedWidth(skip_->minimumWidth());
    for (OnboardingStep* step : steps_) {
        step->retranslate();
    }
    showStep();
}

int OnboardingWindow::shownStep() const {
    return std::clamp(model_.state().onboardingStep(), 0, stepCount - 1);
}

void OnboardingWindow::showStep() {
    const int step = shownStep();
    stack_->setCurrentIndex(step);
    dots_->setStep(step);
    dots_->setAccessibleName(
        qstr(model_.state().localization().format("onboarding.stepOf", {step + 1, stepCount})));
    const bool last = step == stepCount - 1;
    back_->setVisible(step > 0);
    skip_->setVisible(!last);
    next_->setVisible(!last);
    finish_->setVisible(last);
    orderFocus();
    // A new step gets the focus where its work is: the pad, or the way on.
    if (step != focusedStep_) {
        focusedStep_ = step;
        QWidget* first = steps_[static_cast<std::size_t>(step)]->firstFocus();
        (first != nullptr ? first : (last ? finish_ : next_))->setFocus(Qt::OtherFocusReason);
    }
}

void OnboardingWindow::orderFocus() {
    QList<QWidget*> chain = step(shownStep()).focusChain();
    chain += {skip_, back_, next_, finish_};
    for (qsizetype i = 1; i < chain.size(); ++i) {
        setTabOrder(chain[i - 1], chain[i]);
    }
}

bool OnboardingWindow::event(QEvent* event) {
    switch (event->type()) {
        case QEvent::WindowActivate:
            model_.onboardingWindowFocusChanged(true);
            break;
        case QEvent::WindowDeactivate:
            model_.onboardingWindowFocusChanged(false);
            break;
        default:
            break;
    }
    return QWidget::event(event);
}

void OnboardingWindow::showEvent(QShowEvent* event) {
    if (!placed_) {
        placed_ = true;
        QScreen* screen = QGuiApplication::screenAt(QCursor::pos());
        if (screen == nullptr) {
            screen = QGuiApplication::primaryScreen();
        }
        if (screen != nullptr) {
            QRect frame(QPoint(), size());
            frame.moveCenter(screen->availableGeometry().center());
            move(frame.topLeft());
        }
    }
    // Keys reach the widget that has the focus, not the window: watch them on their way there.
    qApp->installEventFilter(this);
    if (shownStep() == 0) {
        step(0).firstFocus()->setFocus(Qt::OtherFocusReason);
    }
    QWidget::showEvent(event);
}

void OnboardingWindow::hideEvent(QHideEvent* event) {
    qApp->removeEventFilter(this);
    buttonKeys_.clear();
    QWidget::hideEvent(event);
}

void OnboardingWindow::closeEvent(QCloseEvent* event) {
    model_.onboardingWindowClosed();
    focusedStep_ = -1;
    event->accept();
}

bool OnboardingWindow::eventFilter(QObject* watched, QEvent* event) {
    if ((event->type() == QEvent::KeyPress || event->type() == QEvent::KeyRelease) &&
        watched->isWidgetType()) {
        // Only the first delivery, to the focus widget: a key it ignores travels on to its
        // parents and must not be offered twice.
        QWidget* target = focusWidget() != nullptr ? focusWidget() : this;
        if (watched == target && target->window() == this) {
            return offerKey(*static_cast<QKeyEvent*>(event));
        }
    }
    return QWidget::eventFilter(watched, event);
}

bool OnboardingWindow::pressesFocusedButton(const QKeyEvent& event) const {
    if (qobject_cast<QAbstractButton*>(focusWidget()) == nullptr ||
        (event.modifiers() & ~Qt::KeypadModifier) != 0) {
        return false;
    }
    switch (event.key()) {
        case Qt::Key_Space:
        case Qt::Key_Return:
        case Qt::Key_Enter:
        case Qt::Key_Select:
            return true;
        default:
            return false;
    }
}

bool OnboardingWindow::offerKey(QKeyEvent& event) {
    const StateView::LocalKey key = localKey(event, scanCodes_, uptime_());
    if (key.isDown && pressesFocusedButton(event)) {
        buttonKeys_.insert(key.code);
        return false;
    }
    if (buttonKeys_.contains(key.code)) {
        if (!key.isDown && !key.isAutoRepeat) {
            buttonKeys_.erase(key.code);
        }
        return false;
    }
    if (!model_.handleLocalKey(key)) {
        return false;
    }
    event.accept();
    return true;
}

void OnboardingWindow::keyPressEvent(QKeyEvent* event) {
    // Outside dialogs buttons answer only Space; Return presses the focused one here as well.
    if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) &&
        (event->modifiers() & ~Qt::KeypadModifier) == 0) {
        if (auto* button = qobject_cast<QAbstractButton*>(focusWidget())) {
            if (!event->isAutoRepeat()) {
                button->click();
            }
            return;
        }
    }
    QWidget::keyPressEvent(event);
}

}  // namespace tapwell::ui
