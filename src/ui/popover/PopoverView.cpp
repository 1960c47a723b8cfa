#include "ui/popover/PopoverView.h"

#include <QCheckBox>
#include <QEvent>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSlider>
#include <QVBoxLayout>

#include <cmath>

#include "presentation/PluralText.h"
#include "ui/common/Look.h"
#include "ui/popover/AccessPrompt.h"
#include "ui/popover/ThemePicker.h"

namespace tapwell::ui {

namespace {

// Volumes are shown and set in whole percent.
constexpr int volumeSteps = 100;
constexpr int rankBarSteps = 1000;

QLabel* makeLabel(QWidget* parent, const char* name) {
    auto* label = new QLabel(parent);
    label->setObjectName(QString::fromLatin1(name));
    return label;
}

QSlider* makeVolumeSlider(QWidget* parent, const char* name) {
    auto* slider = new QSlider(Qt::Horizontal, parent);
    slider->setObjectName(QString::fromLatin1(name));
    slider->setRange(0, volumeSteps);
    slider->setSingleStep(5);
    slider->setPageStep(10);
    slider->setFocusPolicy(Qt::StrongFocus);
    return slider;
}

QFrame* makeRule(QWidget* parent) {
    auto* rule = new QFrame(parent);
    rule->setObjectName(QStringLiteral("rule"));
    rule->setFrameShape(QFrame::HLine);
    rule->setFrameShadow(QFrame::Plain);
    return rule;
}

int percent(double volume) {
    return static_cast<int>(std::lround(std::clamp(volume, 0.0, 1.0) * volumeSteps));
}

// "m:ss", or "h:mm:ss" from an hour on: the time left of a mute, counting down each second.
QString countdown(double seconds) {
    const auto total = static_cast<long long>(std::ceil(std::max(0.0, seconds)));
    const long long hours = total / 3600;
    const long long minutes = total % 3600 / 60;
    const QString secondsText = QStringLiteral("%1").arg(total % 60, 2, 10, QLatin1Char('0'));
    if (hours > 0) {
        return QStringLiteral("%1:%2:%3")
            .arg(hours)
            .arg(minutes, 2, 10, QLatin1Char('0'))
            .arg(secondsText);
    }
    return QStringLiteral("%1:%2").arg(minutes).arg(secondsText);
}

}  // namespace

PopoverView::PopoverView(AppModel& model, QWidget* parent) : QWidget(parent), model_(model) {
    build();
    retranslate();

    connect(&model_, &AppModel::snapshotChanged, this, &PopoverView::showCount);
    connect(&model_, &AppModel::themesChanged, this, [this] {
        showThemes();
        showCount();  // the rank names are the theme's
    });
    connect(&model_, &AppModel::soundChanged, this, [this] {
        showSound();
        showMute();
    });
    connect(&model_, &AppModel::nowChanged, this, &PopoverView::showMute);
    connect(&model_, &AppModel::wellbeingStatusChanged, this, &PopoverView::showNudge);
    connect(&model_, &AppModel::preferencesChanged, this, &PopoverView::showNudge);
    connect(&model_, &AppModel::inputAvailableChanged, this, &PopoverView::showAccess);
    connect(&model_, &AppModel::localizationChanged, this, &PopoverView::retranslate);
}

void PopoverView::build() {
    access_ = new AccessPrompt(model_, this);
    connect(access_, &AccessPrompt::helpOpened, this, &PopoverView::finished);

    count_ = makeLabel(this, "count");
    count_->setFont(monospacedDigits(26, QFont::Bold));
    countCaption_ = makeLabel(this, "countCaption");
    rankName_ = makeLabel(this, "rankName");
    QFont rankFont = rankName_->font();
    rankFont.setBold(true);
    rankName_->setFont(rankFont);
    rankBar_ = new QProgressBar(this);
    rankBar_->setObjectName(QStringLiteral("rankProgress"));
    rankBar_->setRange(0, rankBarSteps);
    rankBar_->setTextVisible(false);
    rankBar_->setFixedHeight(6);
    rankDetail_ = makeLabel(this, "rankDetail");
    rankDetail_->setWordWrap(true);

    speedNow_ = makeLabel(this, "speedNow");
    speedBest_ = makeLabel(this, "speedBest");
    for (QLabel* value : {speedNow_, speedBest_}) {
        QFont font = value->font();
        font.setPointSizeF(font.pointSizeF() * 1.15);
        font.setWeight(QFont::DemiBold);
        value->setFont(font);
    }
    speedNowCaption_ = makeLabel(this, "speedNowCaption");
    speedBestCaption_ = makeLabel(this, "speedBestCaption");

    themeCaption_ = makeLabel(this, "themeCaption");
    themes_ = new ThemePicker(this);
    themes_->setObjectName(QStringLiteral("themes"));
    connect(themes_, &ThemePicker::chosen, this, [this](const QString& id) {
        model_.selectTheme(id);
        // The state's choice, whether it took this one or not.
        showThemes();
    });
    soundUnavailable_ = makeLabel(this, "soundUnavailable");
    soundUnavailable_->setWordWrap(true);

    typingLabel_ = makeLabel(this, "typingLabel");
    typing_ = makeVolumeSlider(this, "typingVolume");
    alertLabel_ = makeLabel(this, "alertLabel");
    alert_ = makeVolumeSlider(this, "alertVolume");
    typingLabel_->setBuddy(typing_);
    alertLabel_->setBuddy(alert_);
    connect(typing_, &QSlider::valueChanged, this,
            [this](int value) { model_.setTypingVolume(value / double(volumeSteps)); });
    connect(alert_, &QSlider::valueChanged, this,
            [this](int value) { model_.setAlertVolume(value / double(volumeSteps)); });

    soundsEnabled_ = new QCheckBox(this);
    soundsEnabled_->setObjectName(QStringLiteral("soundsEnabled"));
    connect(soundsEnabled_, &QCheckBox::clicked, this,
            [this](bool on) { model_.setSoundsEnabled(on); });
    mute_ = new QPushButton(this);
    mute_->setObjectName(QStringLiteral("mute"));
    connect(mute_, &QPushButton::clicked, this, [this] { model_.toggleMute(); });
    muteStatus_ = makeLabel(this, "muteStatus");

    breaksCaption_ = makeLabel(this, "breaksCaption");
    nudgeStatus_ = makeLabel(this, "nudgeStatus");
    nudgeStatus_->setWordWrap(true);
    nudgeToggle_ = new QPushButton(this);
    nudgeToggle_->setObjectName(QStringLiteral("nudgeToggle"));
    connect(nudgeToggle_, &QPushButton::clicked, this, [this] { model_.toggleWellbeingPause(); });

    recap_ = new QPushButton(this);
    recap_->setObjectName(QStringLiteral("recap"));
    settings_ = new QPushButton(this);
    settings_->setObjectName(QStringLiteral("settings"));
    quit_ = new QPushButton(this);
    quit_->setObjectName(QStringLiteral("quit"));
    connect(recap_, &QPushButton::clicked, this, [this] {
        model_.openRecap();
        Q_EMIT finished();
    });
    connect(settings_, &QPushButton::clicked, this, [this] {
        model_.openSettings();
        Q_EMIT finished();
    });
    connect(quit_, &QPushButton::clicked, this, [this] {
        Q_EMIT finished();
        model_.quit();
    });
    for (QPushButton* button : {mute_, nudgeToggle_, recap_, settings_, quit_}) {
        button->setAutoDefault(false);
    }

    for (QLabel* caption : {themeCaption_, breaksCaption_}) {
        QFont font = caption->font();
        font.setBold(true);
        caption->setFont(font);
    }

    // Layout, top to bottom in the order Tab walks it.
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(16, 14, 16, 14);
    layout->setSpacing(10);
    layout->addWidget(access_);

    auto* today = new QVBoxLayout;
    today->setSpacing(2);
    today->addWidget(count_);
    today->addWidget(countCaption_);
    layout->addLayout(today);

    auto* rank = new QVBoxLayout;
    rank->setSpacing(5);
    rank->addWidget(rankName_);
    rank->addWidget(rankBar_);
    rank->addWidget(rankDetail_);
    layout->addLayout(rank);

    auto* speed = new QGridLayout;
    speed->setHorizontalSpacing(16);
    speed->setVerticalSpacing(0);
    speed->addWidget(speedNow_, 0, 0);
    speed->addWidget(speedNowCaption_, 1, 0);
    speed->addWidget(speedBest_, 0, 1);
    speed->addWidget(speedBestCaption_, 1, 1);
    speed->setColumnStretch(0, 1);
    speed->setColumnStretch(1, 1);
    layout->addLayout(speed);

    layout->addWidget(makeRule(this));
    layout->addWidget(themeCaption_);
    layout->addWidget(themes_);
    layout->addWidget(soundUnavailable_);

    auto* volumes = new QGridLayout;
    volumes->setHorizontalSpacing(12);
    volumes->setVerticalSpacing(6);
    volumes->addWidget(typingLabel_, 0, 0);
    volumes->addWidget(typing_, 0, 1);
    volumes->addWidget(alertLabel_, 1, 0);
    volumes->addWidget(alert_, 1, 1);
    volumes->setColumnStretch(1, 1);
    layout->addLayout(volumes);

    auto* switches = new QHBoxLayout;
    switches->addWidget(soundsEnabled_);
    switches->addStretch();
    switches->addWidget(mute_);
    layout->addLayout(switches);
    layout->addWidget(muteStatus_);

    layout->addWidget(makeRule(this));
    layout->addWidget(breaksCaption_);
    auto* nudge = new QHBoxLayout;
    nudge->setSpacing(12);
    nudge->addWidget(nudgeStatus_, 1);
    nudge->addWidget(nudgeToggle_, 0, Qt::AlignVCenter);
    layout->addLayout(nudge);

    layout->addWidget(makeRule(this));
    auto* footer = new QHBoxLayout;
    footer->addWidget(recap_);
    footer->addWidget(settings_);
    footer->addStretch();
    footer->addWidget(quit_);
    layout->addLayout(footer);

    applySecondaryColor();
}

void PopoverView::retranslate() {
    speedNowCaption_->setText(model_.text("popover.speed.now"));
    speedBestCaption_->setText(model_.text("popover.speed.best"));
    themeCaption_->setText(model_.text("popover.theme"));
    soundUnavailable_->setText(model_.text("popover.soundUnavailable"));
    typingLabel_->setText(model_.text("popover.typing"));
    alertLabel_->setText(model_.text("popover.alerts"));
    typing_->setAccessibleName(model_.text("popover.typingVolume"));
    alert_->setAccessibleName(model_.text("popover.alertVolume"));
    soundsEnabled_->setText(model_.text("popover.soundsOn"));
    soundsEnabled_->setAccessibleName(soundsEnabled_->text());
    breaksCaption_->setText(model_.text("popover.breaks"));
    recap_->setText(model_.text("popover.todaysRecap"));
    settings_->setText(model_.text("popover.settings"));
    quit_->setText(model_.text("popover.quit"));
    for (QPushButton* button : {recap_, settings_, quit_}) {
        button->setAccessibleName(button->text());
    }
    access_->retranslate();
    showCount();
    showThemes();
    showSound();
    showMute();
    showNudge();
    showAccess();
}

void PopoverView::showCount() {
    const StateView& state = model_.state();
    const Localization& localization = state.localization();
    const std::int64_t keystrokes = state.snapshot().today.keystrokes;
    count_->setText(qstr(localization.groupedInteger(keystrokes)));
    countCaption_->setText(qstr(pluralText(localization, "popover.keystrokesToday", keystrokes)));
    count_->setAccessibleName(count_->text() + QLatin1Char(' ') + countCaption_->text());

    const QString name = qstr(state.rankName());
    rankName_->setText(name);
    rankName_->setVisible(!name.isEmpty());
    rankBar_->setValue(static_cast<int>(std::lround(state.rankProgress() * rankBarSteps)));

    if (const auto remaining = state.keystrokesToNextRank()) {
        std::string next;
        if (state.currentTheme()) {
            const auto names = localization.pick(state.currentTheme()->ranks);
            const auto index = static_cast<std::size_t>(state.rank() + 1);
            if (names && index < names->size()) {
                next = (*names)[index];
            }
        }
        rankDetail_->setText(
            next.empty()
                ? qstr(pluralText(localization, "popover.rank.toNext", *remaining))
                : qstr(pluralText(localization, "popover.rank.toNamed", *remaining, {next})));
    } else {
        rankDetail_->setText(model_.text("popover.rank.top"));
    }
    rankBar_->setAccessibleName(name.isEmpty() ? rankDetail_->text()
                                               : name + QStringLiteral(", ") + rankDetail_->text());

    const auto speed = [&localization](std::int64_t kpm) {
        return qstr(
            localization.format("unit.keysPerMinute.value", {localization.groupedInteger(kpm)}));
    };
    speedNow_->setText(speed(state.snapshot().kpm));
    speedBest_->setText(speed(state.snapshot().today.topKpm));
}

void PopoverView::showThemes() {
    const StateView& state = model_.state();
    // The rank bar wears the theme's accent; without a theme, the desktop's highlight.
    QPalette bar;
    if (state.currentTheme()) {
        bar.setColor(QPalette::Highlight, themeColor(state.currentTheme()->colors.accent));
    }
    rankBar_->setPalette(bar);
    themes_->showThemes(state);
    const bool offered = themes_->count() > 0;
    themes_->setVisible(offered);
    themeCaption_->setVisible(offered);
    soundUnavailable_->setVisible(!offered);
    orderFocus();
}

void PopoverView::showSound() {
    const SoundSettings& sound = model_.state().soundSettings();
    const QSignalBlocker quietTyping(typing_);
    const QSignalBlocker quietAlert(alert_);
    typing_->setValue(percent(sound.typingVolume));
    alert_->setValue(percent(sound.alertVolume));
    soundsEnabled_->setChecked(sound.soundsEnabled);
}

void PopoverView::showMute() {
    const StateView& state = model_.state();
    const bool muted = state.isMuted();
    mute_->setText(model_.text(muted ? "popover.unmute" : "popover.muteHour"));
    mute_->setAccessibleName(mute_->text());
    muteStatus_->setVisible(muted);
    if (muted) {
        muteStatus_->setText(qstr(state.localization().format(
            "popover.mutedLeft", {countdown(state.remainingMuteSeconds()).toStdString()})));
    }
}

void PopoverView::showNudge() {
    const StateView& state = model_.state();
    const Localization& localization = state.localization();
    const WellbeingStatus& status = state.wellbeingStatus();
    QString text;
    if (status.pausedUntil) {
        text = qstr(localization.format("popover.nudge.pausedUntil",
                                        {localization.shortTime(*status.pausedUntil)}));
    } else if (status.nextMinutes) {
        text = *status.nextMinutes > 0
                   ? qstr(pluralText(localization, "popover.nudge.in", *status.nextMinutes))
                   : model_.text("popover.nudge.due");
    } else {
        text = model_.text(state.preferences().breakNudge ? "popover.nudge.onHold"
                                                          : "popover.nudge.off");
    }
    nudgeStatus_->setText(text);
    nudgeToggle_->setText(
        model_.text(status.pausedUntil ? "popover.nudge.resume" : "popover.nudge.pause"));
    nudgeToggle_->setAccessibleName(nudgeToggle_->text());
    nudgeToggle_->setAccessibleDescription(text);
}

void PopoverView::showAccess() {
    access_->setVisible(!model_.state().inputAvailable());
}

void PopoverView::focusFirst() {
    if (access_->isVisibleTo(this)) {
        access_->focusFirst();
        return;
    }
    if (QWidget* selected = themes_->selectedTile()) {
        selected->setFocus(Qt::TabFocusReason);
        return;
    }
    typing_->setFocus(Qt::TabFocusReason);
}

void PopoverView::orderFocus() {
    QList<QWidget*> chain = access_->focusChain();
    chain += themes_->tiles();
    chain += {typing_, alert_, soundsEnabled_, mute_, nudgeToggle_, recap_, settings_, quit_};
    for (qsizetype i = 1; i < chain.size(); ++i) {
        setTabOrder(chain[i - 1], chain[i]);
    }
}

void PopoverView::applySecondaryColor() {
    const QColor window = palette().color(QPalette::Window);
    const QColor text = palette().color(QPalette::WindowText);
    const QColor secondary = blend(window, text, 0.66);
    for (QLabel* label : {countCaption_, rankDetail_, speedNowCaption_, speedBestCaption_,
                          themeCaption_, breaksCaption_, muteStatus_, soundUnavailable_}) {
        QPalette colors;
        colors.setColor(QPalette::WindowText, secondary);
        label->setPalette(colors);
    }
    QPalette ruleColors;
    ruleColors.setColor(QPalette::WindowText, blend(window, text, 0.16));
    for (QFrame* rule : findChildren<QFrame*>(QStringLiteral("rule"))) {
        rule->setPalette(ruleColors);
    }
}

void PopoverView::changeEvent(QEvent* event) {
    if (event->type() == QEvent::PaletteChange) {
        applySecondaryColor();
    }
    QWidget::changeEvent(event);
}

}  // namespace tapwell::ui
