#pragma once
// The views' window onto the application state: a Qt signal for each published value and the
// user's commands as invokable methods. Views read values through `state()` (read-only) and act
// only through the commands here, so they never reach a service and can be tested against a
// recording fake of `StateView`. Main thread only.

#include <QByteArray>
#include <QObject>
#include <QString>

#include <functional>

#include "app/StateView.h"

namespace tapwell {

class AppModel final : public QObject {
    Q_OBJECT

  public:
    // Takes over `state`'s change handler; `state` must outlive the model.
    explicit AppModel(StateView& state, QObject* parent = nullptr);
    ~AppModel() override;

    const StateView& state() const { return state_; }

    // The localized text of a key in the current language.
    QString text(const char* key) const;

    // Settings.
    Q_INVOKABLE void setPreferences(const tapwell::AppPreferences& preferences);
    // Changes a copy of the preferences and sets it.
    void updatePreferences(const std::function<void(AppPreferences&)>& change);
    Q_INVOKABLE void setSoundsEnabled(bool enabled);
    Q_INVOKABLE void setTypingVolume(double volume);
    Q_INVOKABLE void setAlertVolume(double volume);
    Q_INVOKABLE void setRainEnabled(bool enabled);
    Q_INVOKABLE void setRainVolume(double volume);
    Q_INVOKABLE void setCelebrationEnabled(bool enabled);
    Q_INVOKABLE void selectTheme(const QString& id);
    Q_INVOKABLE void setLanguage(const QString& code);
    Q_INVOKABLE void toggleMute();
    Q_INVOKABLE void toggleWellbeingPause();
    Q_INVOKABLE void setLoginEnabled(bool enabled);
    Q_INVOKABLE void chooseMutedApps();
    Q_INVOKABLE void addMutedApps(const QStringList& ids);
    Q_INVOKABLE void removeMutedApp(const QString& id);
    Q_INVOKABLE void setOnboardingStep(int step);
    Q_INVOKABLE void clearServiceError();
    Q_INVOKABLE void setScreenshotFolder(const QString& folder);
    Q_INVOKABLE void importTheme(const QString& pack);
    // Keeps a window's frame (QWidget::saveGeometry) under its name.
    void setWindowFrame(const QString& name, const QByteArray& frame);
    QByteArray windowFrame(const QString& name) const;
    Q_INVOKABLE void previewAlert(tapwell::SystemSoundEvent event);

    // Windows and the desktop.
    Q_INVOKABLE void openSettings();
    Q_INVOKABLE void openOnboarding();
    Q_INVOKABLE void openRecap();
    Q_INVOKABLE void openInputSettings();
    Q_INVOKABLE bool copyRecap();
    Q_INVOKABLE void saveRecap();
    Q_INVOKABLE void requestNotificationAuthorization();
    Q_INVOKABLE void sendTestNotification();
    Q_INVOKABLE void showStoredData();
    Q_INVOKABLE void exportStats();
    Q_INVOKABLE void deleteAllStats();
    Q_INVOKABLE void quit();

    // What the onboarding window reports.
    void onboardingWindowFocusChanged(bool focused);
    void onboardingWindowClosed();
    bool handleLocalKey(const StateView::LocalKey& key);

  Q_SIGNALS:
    // Every change, with the set of values that changed (the bits of `Published`).
    void changed(quint32 published);
    void preferencesChanged();
    void wellbeingStatusChanged();
    void downloadErrorChanged();
    void screenshotChanged();
    void serviceErrorChanged();
    void notificationStatusChanged();
    void loginChanged();
    void shortcutAvailableChanged();
    void onboardingChanged();
    void soundChanged();
    void nowChanged();
    void snapshotChanged();
    void inputAvailableChanged();
    void themesChanged();
    void localizationChanged();
    void menuBarChanged();
    void installedAppsChanged();

  private:
    void publish(PublishedSet what);

    StateView& state_;
};

}  // namespace tapwell
