#pragma once
// What the views may see of the application state and what they may ask of it: every published
// value, the values derived from them, and the user's commands. `AppState` implements it; the
// views reach it only through `AppModel` (its Qt face), and their tests through a recording fake.
// Qt-free. Main thread only.

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "core/Clock.h"
#include "platform/DesktopServices.h"
#include "preferences/AppPreferences.h"
#include "preferences/SoundSettings.h"
#include "presentation/Localization.h"
#include "presentation/NotificationStatus.h"
#include "recap/RecapContent.h"
#include "stats/DailyStats.h"
#include "themes/Theme.h"
#include "themes/ThemeManager.h"
#include "wellbeing/WellbeingEvent.h"

namespace tapwell {

// Which published values changed; one bit per value (or per group that always changes together).
enum class Published : std::uint32_t {
    preferences = 1u << 0,
    wellbeingStatus = 1u << 1,
    downloadError = 1u << 2,
    screenshot = 1u << 3,  // screenshotFolder and screenshotError
    serviceError = 1u << 4,
    notificationStatus = 1u << 5,
    login = 1u << 6,  // loginEnabled and loginNeedsApproval
    shortcutAvailable = 1u << 7,
    onboarding = 1u << 8,  // onboardingStep and onboardingPresses
    sound = 1u << 9,       // the sound settings, the timed mute included
    now = 1u << 10,
    snapshot = 1u << 11,
    inputAvailable = 1u << 12,
    themes = 1u << 13,  // audioAvailable, currentTheme, themes and availableThemeIDs
    localization = 1u << 14,
    menuBar = 1u << 15,
    installedApps = 1u << 16,
};

class PublishedSet {
  public:
    constexpr PublishedSet() = default;
    constexpr PublishedSet(Published one) : bits_(static_cast<std::uint32_t>(one)) {}
    static constexpr PublishedSet all() {
        PublishedSet set;
        set.bits_ = (static_cast<std::uint32_t>(Published::installedApps) << 1) - 1;
        return set;
    }
    constexpr bool contains(Published one) const {
        return (bits_ & static_cast<std::uint32_t>(one)) != 0;
    }
    constexpr bool empty() const { return bits_ == 0; }
    constexpr std::uint32_t bits() const { return bits_; }
    constexpr PublishedSet& operator|=(PublishedSet other) {
        bits_ |= other.bits_;
        return *this;
    }
    friend constexpr PublishedSet operator|(PublishedSet a, PublishedSet b) { return a |= b; }
    constexpr bool operator==(const PublishedSet&) const = default;

  private:
    std::uint32_t bits_ = 0;
};

constexpr PublishedSet operator|(Published a, Published b) {
    return PublishedSet(a) | PublishedSet(b);
}

// The count next to the tray icon and the language that formats it.
struct MenuBarState {
    std::optional<std::int64_t> count;
    std::string language = "en";

    bool operator==(const MenuBarState&) const = default;
};

class StateView {
  public:
    virtual ~StateView() = default;

    // Called after published values changed, with the values that did.
    using ChangeHandler = std::function<void(PublishedSet)>;
    virtual void setChangeHandler(ChangeHandler handler) = 0;

    // Published values.
    virtual const AppPreferences& preferences() const = 0;
    virtual const WellbeingStatus& wellbeingStatus() const = 0;
    virtual const std::optional<std::string>& downloadError() const = 0;
    virtual const std::optional<std::string>& screenshotError() const = 0;
    virtual const std::optional<std::filesystem::path>& screenshotFolder() const = 0;
    virtual const std::optional<std::string>& serviceError() const = 0;
    virtual NotificationStatus notificationStatus() const = 0;
    virtual bool loginEnabled() const = 0;
    virtual bool loginNeedsApproval() const = 0;
    virtual bool shortcutAvailable() const = 0;
    virtual int onboardingStep() const = 0;
    virtual std::int64_t onboardingPresses() const = 0;
    virtual const SoundSettings& soundSettings() const = 0;
    virtual Date now() const = 0;
    virtual const StatsSnapshot& snapshot() const = 0;
    virtual bool inputAvailable() const = 0;
    virtual bool audioAvailable() const = 0;
    virtual const std::optional<Theme>& currentTheme() const = 0;
    virtual const Localization& localization() const = 0;
    virtual const std::vector<ThemeEntry>& themes() const = 0;
    virtual const std::set<std::string>& availableThemeIDs() const = 0;
    virtual const MenuBarState& menuBar() const = 0;
    virtual const std::vector<InstalledApp>& installedApps() const = 0;

    // Derived values.
    bool isMuted() const { return soundSettings().isMuted(now()); }
    double remainingMuteSeconds() const;
    int rank() const;
    std::string rankName() const;
    // The keystrokes still needed for the next rank; none at the top rank.
    std::optional<std::int64_t> keystrokesToNextRank() const;
    // How far today's count has come towards the next rank, 0...1.
    double rankProgress() const;
    // The content of today's recap card; none without a theme.
    virtual std::optional<RecapContent> recapContent() const = 0;
    // What one stored day looks like, for the privacy explanations.
    virtual std::string onboardingSample() const = 0;
    // The display name of an installed application, else the id itself.
    virtual std::string appName(const std::string& id) const = 0;

    // Settings.
    virtual void setPreferences(AppPreferences preferences) = 0;
    virtual void setSoundSettings(SoundSettings settings) = 0;
    virtual void selectTheme(const std::string& id) = 0;
    virtual void setLanguage(const std::string& code) = 0;
    virtual void toggleMute() = 0;
    virtual void toggleWellbeingPause() = 0;
    virtual void setLoginEnabled(bool enabled) = 0;
    virtual void addMutedApps(const std::vector<std::string>& ids) = 0;
    virtual void chooseMutedApps() = 0;
    virtual void removeMutedApp(const std::string& id) = 0;
    virtual void setOnboardingStep(int step) = 0;
    virtual void clearServiceError() = 0;

    // Sounds on request.
    virtual void previewAlert(SystemSoundEvent event) = 0;

    // Windows and the desktop.
    virtual void openSettings() = 0;
    virtual void openOnboarding() = 0;
    virtual void openRecap() = 0;
    virtual void openInputSettings() = 0;
    virtual bool copyRecap() = 0;
    virtual void saveRecap() = 0;
    virtual void requestNotificationAuthorization() = 0;
    virtual void sendTestNotification() = 0;

    // The statistics.
    virtual void showStoredData() = 0;
    virtual void exportStats() = 0;
    virtual void deleteAllStats() = 0;

    // What the onboarding window reports: its focus, its closing, and the keys typed into it. The
    // window takes typing for the try-out pad while it has the focus on its first step.
    struct LocalKey {
        std::int64_t code = 0;  // the key's Linux input code
        bool isDown = true;
        bool isAutoRepeat = false;
        bool withCommandModifier = false;  // Control, Alt or Super held
        double timestamp = 0.0;            // seconds since system start
    };
    virtual void onboardingWindowFocusChanged(bool focused) = 0;
    virtual void onboardingWindowClosed() = 0;
    // True when the key was taken (played on the pad); false when it passes through to the
    // window (navigation, shortcuts, or the pad is not active).
    virtual bool handleLocalKey(const LocalKey& key) = 0;

    virtual void quit() = 0;
};

}  // namespace tapwell
