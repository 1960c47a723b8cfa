#include "ui/settings/StatsPage.h"

#include <QCheckBox>
#include <QDate>
#include <QLabel>
#include <QLocale>
#include <QPushButton>

#include "core/Calendar.h"
#include "presentation/PluralText.h"
#include "recap/RecapContent.h"
#include "ui/common/Look.h"
#include "ui/settings/BarChart.h"

namespace tapwell::ui {

namespace {

// Hours labelled under the chart; the others are left bare so the labels do not crowd.
constexpr int hourLabelStep = 3;

}  // namespace

StatsPage::StatsPage(AppModel& model, QWidget* parent) : SettingsPageView(parent), model_(model) {
    SettingsGroup* today = addSection(todayCaption_, "todayCaption");
    hoursLabel_ = new QLabel;
    hoursLabel_->setObjectName(QStringLiteral("hoursLabel"));
    todayTotal_ = new QLabel;
    todayTotal_->setObjectName(QStringLiteral("todayTotal"));
    QFont totalFont = todayTotal_->font();
    totalFont.setWeight(QFont::DemiBold);
    todayTotal_->setFont(totalFont);
    hours_ = new BarChart;
    hours_->setObjectName(QStringLiteral("hourChart"));
    auto* hoursRow = new SettingsRow(hoursLabel_);
    hoursRow->addTrailing(todayTotal_);
    hoursRow->addBody(hours_);
    today->addRow(hoursRow);

    words_ = new QLabel;
    words_->setObjectName(QStringLiteral("words"));
    wordsNote_ = makeNote(nullptr, "wordsNote");
    auto* wordsRow = new SettingsRow(words_);
    wordsRow->addNote(wordsNote_);
    today->addRow(wordsRow);

    recapLabel_ = new QLabel;
    recapLabel_->setObjectName(QStringLiteral("recapLabel"));
    recap_ = makeButton(nullptr, "openRecap");
    connect(recap_, &QPushButton::clicked, this, [this] { model_.openRecap(); });
    recapNote_ = makeNote(nullptr, "recapNote");
    auto* recapRow = new SettingsRow(recapLabel_);
    recapRow->addTrailing(recap_);
    recapRow->addNote(recapNote_);
    today->addRow(recapRow);

    SettingsGroup* history = addSection(daysCaption_, "daysCaption");
    daysLabel_ = new QLabel;
    daysLabel_->setObjectName(QStringLiteral("daysLabel"));
    days_ = new BarChart;
    days_->setObjectName(QStringLiteral("dayChart"));
    daysNote_ = makeNote(nullptr, "daysNote");
    auto* daysRow = new SettingsRow(daysLabel_);
    daysRow->addBody(days_);
    daysRow->addNote(daysNote_);
    history->addRow(daysRow);

    SettingsGroup* celebration = addSection(celebrationCaption_, "celebrationCaption");
    celebration_ = makeSwitch(nullptr, "celebration");
    connect(celebration_, &QCheckBox::clicked, this,
            [this](bool on) { model_.setCelebrationEnabled(on); });
    celebrationNote_ = makeNote(nullptr, "celebrationNote");
    auto* celebrationRow = new SettingsRow(celebration_);
    celebrationRow->addNote(celebrationNote_);
    celebration->addRow(celebrationRow);
    finish();

    connect(&model_, &AppModel::snapshotChanged, this, [this] {
        if (isVisible() && model_.state().snapshot().today.date != loadedForDay_) {
            reloadDays();  // the day turned
        }
        showToday();
        showDays();
    });
    connect(&model_, &AppModel::soundChanged, this, [this] {
        celebration_->setChecked(model_.state().soundSettings().celebrationEnabled);
    });
    connect(&model_, &AppModel::themesChanged, this, &StatsPage::showTheme);
}

void StatsPage::retranslate() {
    title()->setText(model_.text("settings.page.stats"));
    todayCaption_->setText(model_.text("settings.stats.todayCaption"));
    hoursLabel_->setText(model_.text("settings.stats.perHour"));
    recapLabel_->setText(model_.text("settings.stats.recap"));
    recap_->setText(model_.text("settings.stats.openRecap"));
    recap_->setAccessibleName(recap_->text());
    recapNote_->setText(model_.text("settings.stats.recapNote"));
    daysCaption_->setText(model_.text("settings.stats.daysCaption"));
    daysLabel_->setText(model_.text("settings.stats.perDay"));
    celebrationCaption_->setText(model_.text("settings.stats.celebrationCaption"));
    celebration_->setText(model_.text("settings.stats.celebration"));
    celebrationNote_->setText(model_.text("settings.stats.celebrationNote"));
    celebration_->setChecked(model_.state().soundSettings().celebrationEnabled);
    showToday();
    showDays();
    showTheme();
}

void StatsPage::showTheme() {
    const auto& theme = model_.state().currentTheme();
    const QColor accent = theme ? themeColor(theme->colors.accent) : QColor();
    hours_->setAccent(accent);
    days_->setAccent(accent);
}

void StatsPage::showToday() {
    const StateView& state = model_.state();
    const Localization& localization = state.localization();
    const DailyStats& today = state.snapshot().today;
    std::vector<BarChart::Bar> bars;
    std::int64_t peak = 0;
    for (std::size_t hour = 0; hour < DailyStats::hoursPerDay; ++hour) {
        const std::int64_t value = hour < today.hourly.size() ? today.hourly[hour] : 0;
        peak = std::max(peak, value);
        bars.push_back({value, hour % hourLabelStep == 0 ? QString::number(hour) : QString()});
    }
    const auto now = static_cast<std::size_t>(Calendar::current().hour(state.now()));
    hours_->setBars(
        std::move(bars), now,
        qstr(localization.format("settings.stats.peakHour", {localization.groupedInteger(peak)})));
    todayTotal_->setText(qstr(pluralText(localization, "settings.stats.total", today.keystrokes)));
    hours_->setAccessibleName(hoursLabel_->text() + QStringLiteral(": ") + todayTotal_->text());

    const std::int64_t divisor = RecapContent::wordsDivisor(localization);
    words_->setText(
        qstr(pluralText(localization, "settings.stats.words", today.keystrokes / divisor)));
    wordsNote_->setText(qstr(pluralText(localization, "settings.stats.wordsNote", divisor)));
}

void StatsPage::reloadDays() {
    storedDays_ = model_.state().recentDays(daysShown);
    loadedForDay_ = model_.state().snapshot().today.date;
    showDays();
}

void StatsPage::showDays() {
    const StateView& state = model_.state();
    const Localization& localization = state.localization();
    const QLocale locale(qstr(localization.localeIdentifier()));
    std::vector<DailyStats> days = storedDays_;
    // Today as it is counted now, not as last saved.
    const DailyStats& today = state.snapshot().today;
    if (!days.empty() && days.back().date == today.date) {
        days.back() = today;
    }
    std::vector<BarChart::Bar> bars;
    std::int64_t best = 0;
    std::int64_t total = 0;
    for (const DailyStats& day : days) {
        const QDate date = QDate::fromString(qstr(day.date), Qt::ISODate);
        bars.push_back({day.keystrokes,
                        date.isValid() ? locale.toString(date, QStringLiteral("d")) : QString()});
        best = std::max(best, day.keystrokes);
        total += day.keystrokes;
    }
    const std::optional<std::size_t> last =
        bars.empty() ? std::nullopt : std::optional<std::size_t>(bars.size() - 1);
    days_->setBars(
        std::move(bars), last,
        qstr(localization.format("settings.stats.bestDay", {localization.groupedInteger(best)})));
    QString range;
    if (days.size() >= 2) {
        const QDate first = QDate::fromString(qstr(days.front().date), Qt::ISODate);
        const QDate lastDay = QDate::fromString(qstr(days.back().date), Qt::ISODate);
        range = qstr(localization.format(
            "settings.stats.range", {locale.toString(first, QLocale::ShortFormat).toStdString(),
                                     locale.toString(lastDay, QLocale::ShortFormat).toStdString(),
                                     localization.groupedInteger(total)}));
    }
    daysNote_->setText(total == 0 ? model_.text("settings.stats.nothingStored") : range);
    days_->setAccessibleName(daysLabel_->text() + QStringLiteral(": ") + daysNote_->text());
}

void StatsPage::showEvent(QShowEvent* event) {
    reloadDays();
    SettingsPageView::showEvent(event);
}

}  // namespace tapwell::ui
