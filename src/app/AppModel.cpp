#include "app/AppModel.h"

#include <QStringList>

namespace tapwell {

namespace {

std::string utf8(const QString& text) {
    return text.toStdString();
}

}  // namespace

AppModel::AppModel(StateView& state, QObject* parent) : QObject(parent), state_(state) {
    state_.setChangeHandler([this](PublishedSet what) { publish(what); });
}

AppModel::~AppModel() {
    state_.setChangeHandler({});
}

QString AppModel::text(const char* key) const {
    return QString::fromStdString(state_.localization().text(key));
}

void AppModel::publish(PublishedSet what) {
    Q_EMIT changed(what.bits());
    const struct {
        Published value;
        void (AppModel::*signal)();
    } table[] = {
        {Published::preferences, &AppModel::preferencesChanged},
        {Published::wellbeingStatus, &AppModel::wellbeingStatusChanged},
        {Published::downloadError, &AppModel::downloadErrorChanged},
        {Published::screenshot, &AppModel::screenshotChanged},
        {Published::serviceError, &AppModel::serviceErrorChanged},
        {Published::notificationStatus, &AppModel::notificationStatusChanged},
        {Published::login, &AppModel::loginChanged},
        {Published::shortcutAvailable, &AppModel::shortcutAvailableChanged},
        {Published::onboarding, &AppModel::onboardingChanged},
        {Published::sound, &AppModel::soundChanged},
        {Published::now, &AppModel::nowChanged},
        {Published::snapshot, &AppModel::snapshotChanged},
        {Published::inputAvailable, &AppModel::inputAvailableChanged},
        {Published::themes, &AppModel::themesChanged},
        {Published::localization, &AppModel::localizationChanged},
        {Published::menuBar, &AppModel::menuBarChanged},
        {Published::installedApps, &AppModel::installedAppsChanged},
    };
    for (const auto& entry : table) {
        if (what.contains(entry.value)) {
            Q_EMIT(this->*entry.signal)();
        }
    }
}

void AppModel::setPreferences(const AppPreferences& preferences) {
    state_.setPreferences(preferences);
}

void AppModel::updatePreferences(const std::function<void(AppPreferences&)>& change) {
    AppPreferences preferences = state_.preferences();
    change(preferences);
    if (!(preferences == state_.preferences())) {
        state_.setPreferences(std::move(preferences));
    }
}

namespace {

template <class Field, class Value>
void updateSound(StateView& state, Field SoundSettings::*field, Value value) {
    SoundSettings settings = state.soundSettings();
    settings.*field = value;
    state.setSoundSettings(std::move(settings));
}

}  // namespace

void AppModel::setSoundsEnabled(bool enabled) {
    updateSound(state_, &SoundSettings::soundsEnabled, enabled);
}
void AppModel::setTypingVolume(double volume) {
    updateSound(state_, &SoundSettings::typingVolume, volume);
}
void AppModel::setAlertVolume(double volume) {
    updateSound(state_, &SoundSettings::alertVolume, volume);
}
void AppModel::setRainEnabled(bool enabled) {
    updateSound(state_, &SoundSettings::rainEnabled, enabled);
}
void AppModel::setRainVolume(double volume) {
    updateSound(state_, &SoundSettings::rainVolume, volume);
}
void AppModel::setCelebrationEnabled(bool enabled) {
    updateSound(state_, &SoundSettings::celebrationEnabled, enabled);
}
void AppModel::selectTheme(const QString& id) {
    state_.selectTheme(utf8(id));
}
void AppModel::setLanguage(const QString& code) {
    state_.setLanguage(utf8(code));
}
void AppModel::toggleMute() {
    state_.toggleMute();
}
void AppModel::toggleWellbeingPause() {
    state_.toggleWellbeingPause();
}
void AppModel::setLoginEnabled(bool enabled) {
    state_.setLoginEnabled(enabled);
}
void AppModel::chooseMutedApps() {
    state_.chooseMutedApps();
}
void AppModel::addMutedApps(const QStringList& ids) {
    std::vector<std::string> list;
    for (const QString& id : ids) {
        list.push_back(utf8(id));
    }
    state_.addMutedApps(list);
}
void AppModel::removeMutedApp(const QString& id) {
    state_.removeMutedApp(utf8(id));
}
void AppModel::setOnboardingStep(int step) {
    state_.setOnboardingStep(step);
}
void AppModel::clearServiceError() {
    state_.clearServiceError();
}
void AppModel::setScreenshotFolder(const QString& folder) {
    state_.setScreenshotFolder(std::filesystem::path(utf8(folder)));
}
void AppModel::importTheme(const QString& pack) {
    state_.importTheme(std::filesystem::path(utf8(pack)));
}
void AppModel::setWindowFrame(const QString& name, const QByteArray& frame) {
    state_.setWindowFrame(utf8(name), frame.toStdString());
}
QByteArray AppModel::windowFrame(const QString& name) const {
    const auto frame = state_.windowFrame(utf8(name));
    return frame ? QByteArray::fromStdString(*frame) : QByteArray();
}
void AppModel::previewAlert(SystemSoundEvent event) {
    state_.previewAlert(event);
}
void AppModel::openSettings() {
    state_.openSettings();
}
void AppModel::openOnboarding() {
    state_.openOnboarding();
}
void AppModel::openRecap() {
    state_.openRecap();
}
void AppModel::openInputSettings() {
    state_.openInputSettings();
}
bool AppModel::copyRecap() {
    return state_.copyRecap();
}
void AppModel::saveRecap() {
    state_.saveRecap();
}
void AppModel::requestNotificationAuthorization() {
    state_.requestNotificationAuthorization();
}
void AppModel::sendTestNotification() {
    state_.sendTestNotification();
}
void AppModel::showStoredData() {
    state_.showStoredData();
}
void AppModel::exportStats() {
    state_.exportStats();
}
void AppModel::deleteAllStats() {
    state_.deleteAllStats();
}
void AppModel::quit() {
    state_.quit();
}
void AppModel::onboardingWindowFocusChanged(bool focused) {
    state_.onboardingWindowFocusChanged(focused);
}
void AppModel::onboardingWindowClosed() {
    state_.onboardingWindowClosed();
}
bool AppModel::handleLocalKey(const StateView::LocalKey& key) {
    return state_.handleLocalKey(key);
}

}  // namespace tapwell
