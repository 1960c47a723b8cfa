#pragma once
// A stand-in for the application state behind the views: every published value is a plain field
// that a test (or the screenshot tool) sets, `publish` tells the views what changed, and every
// command is recorded by name (with its argument, if any) instead of being carried out.

#include <map>
#include <string>
#include <vector>

#include "app/StateView.h"

namespace tapwell::test {

class RecordingState final : public StateView {
  public:
    // `resourceFolder` holds the string tables (and themes); the language starts as "en".
    explicit RecordingState(std::filesystem::path resourceFolder);

    // Published values, set freely; call `publish` afterwards.
    AppPreferences preferencesValue;
    WellbeingStatus wellbeingValue;
    std::optional<std::string> downloadErrorValue;
    std::optional<std::string> screenshotErrorValue;
    std::optional<std::filesystem::path> screenshotFolderValue;
    std::optional<std::string> serviceErrorValue;
    NotificationStatus notificationValue;
    bool loginEnabledValue = false;
    bool loginNeedsApprovalValue = false;
    bool shortcutAvailableValue = true;
    int onboardingStepValue = 0;
    std::int64_t onboardingPressesValue = 0;
    SoundSettings soundValue;
    Date nowValue{0.0};
    StatsSnapshot snapshotValue;
    bool inputAvailableValue = true;
    bool audioAvailableValue = true;
    std::optional<Theme> currentThemeValue;
    std::vector<ThemeEntry> themesValue;
    std::set<std::string> availableThemeIDsValue;
    MenuBarState menuBarValue;
    std::vector<InstalledApp> installedAppsValue;
    bool builtInSpeakersValue = true;
    bool importingThemeValue = false;
    std::vector<DailyStats> recentDaysValue;
    std::map<std::string, std::string> windowFrames;
    bool copyRecapResult = true;
    bool localKeyResult = true;
    // Every key handed to `handleLocalKey`, in order.
    std::vector<LocalKey> localKeys;

    // Switches the language (rebuilding the localization) without recording a command.
    void useLanguage(const std::string& code);
    // Loads the themes of the resource folder as the real state does and selects `id`.
    void loadThemes(const std::string& selectedID);
    // Tells the views that `what` changed.
    void publish(PublishedSet what);

    // The commands received, in order: "name" or "name:argument".
    std::vector<std::string> calls;
    bool called(const std::string& call) const;

    void setChangeHandler(ChangeHandler handler) override { handler_ = std::move(handler); }
    const AppPreferences& preferences() const override { return preferencesValue; }
    const WellbeingStatus& wellbeingStatus() const override { return wellbeingValue; }
    const std::optional<std::string>& downloadError() const override { return downloadErrorValue; }
    const std::optional<std::string>& screenshotError() const override {
        return screenshotErrorValue;
    }
    const std::optional<std::filesystem::path>& screenshotFolder() const override {
        return screenshotFolderValue;
    }
    const std::optional<std::string>& serviceError() const override { return serviceErrorValue; }
    NotificationStatus notificationStatus() const override { return notificationValue; }
    bool loginEnabled() const override { return loginEnabledValue; }
    bool loginNeedsApproval() const override { return loginNeedsApprovalValue; }
    bool shortcutAvailable() const override { return shortcutAvailableValue; }
    int onboardingStep() const override { return onboardingStepValue; }
    std::int64_t onboardingPresses() const override { return onboardingPressesValue; }
    const SoundSettings& soundSettings() const override { return soundValue; }
    Date now() const override { return nowValue; }
    const StatsSnapshot& snapshot() const override { return snapshotValue; }
    bool inputAvailable() const override { return inputAvailableValue; }
    bool audioAvailable() const override { return audioAvailableValue; }
    const std::optional<Theme>& currentTheme() const override { return currentThemeValue; }
    const Localization& localization() const override { return localization_; }
    const std::vector<ThemeEntry>& themes() const override { return themesValue; }
    const std::set<std::string>& availableThemeIDs() const override {
        return availableThemeIDsValue;
    }
    const MenuBarState& menuBar() const override { return menuBarValue; }
    const std::vector<InstalledApp>& installedApps() const override { return installedAppsValue; }
    bool builtInSpeakersAvailable() const override { return builtInSpeakersValue; }
    bool importingTheme() const override { return importingThemeValue; }
    std::optional<RecapContent> recapContent() const override;
    std::string onboardingSample() const override;
    std::string appName(const std::string& id) const override;
    // The last `count` of `recentDaysValue`.
    std::vector<DailyStats> recentDays(int count) const override;
    std::optional<std::string> windowFrame(const std::string& name) const override;

    void setPreferences(AppPreferences preferences) override;
    void setSoundSettings(SoundSettings settings) override;
    void selectTheme(const std::string& id) override { record("selectTheme", id); }
    void setLanguage(const std::string& code) override { record("setLanguage", code); }
    void toggleMute() override { record("toggleMute"); }
    void toggleWellbeingPause() override { record("toggleWellbeingPause"); }
    void setLoginEnabled(bool enabled) override {
        record("setLoginEnabled", enabled ? "true" : "false");
    }
    void addMutedApps(const std::vector<std::string>& ids) override;
    void chooseMutedApps() override { record("chooseMutedApps"); }
    void removeMutedApp(const std::string& id) override { record("removeMutedApp", id); }
    void setOnboardingStep(int step) override { record("setOnboardingStep", std::to_string(step)); }
    void clearServiceError() override { record("clearServiceError"); }
    void setScreenshotFolder(const std::filesystem::path& folder) override {
        record("setScreenshotFolder", folder.string());
    }
    void importTheme(const std::filesystem::path& pack) override {
        record("importTheme", pack.string());
    }
    void setWindowFrame(const std::string& name, const std::string& frame) override;
    void previewAlert(SystemSoundEvent event) override { record("previewAlert", toString(event)); }
    void openSettings() override { record("openSettings"); }
    void openOnboarding() override { record("openOnboarding"); }
    void openRecap() override { record("openRecap"); }
    void openInputSettings() override { record("openInputSettings"); }
    bool copyRecap() override {
        record("copyRecap");
        return copyRecapResult;
    }
    void saveRecap() override { record("saveRecap"); }
    void requestNotificationAuthorization() override { record("requestNotificationAuthorization"); }
    void sendTestNotification() override { record("sendTestNotification"); }
    void showStoredData() override { record("showStoredData"); }
    void exportStats() override { record("exportStats"); }
    void deleteAllStats() override { record("deleteAllStats"); }
    void onboardingWindowFocusChanged(bool focused) override {
        record("onboardingWindowFocusChanged", focused ? "true" : "false");
    }
    void onboardingWindowClosed() override { record("onboardingWindowClosed"); }
    bool handleLocalKey(const LocalKey& key) override;
    void quit() override { record("quit"); }

  private:
    void record(const std::string& name, const std::string& argument = {});

    std::filesystem::path resourceFolder_;
    Localization localization_;
    ChangeHandler handler_;
};

}  // namespace tapwell::test
