#include <gtest/gtest.h>

#include <QSignalSpy>

#include "app/AppModel.h"
#include "app/MenuBarStatus.h"
#include "support/RecordingState.h"

namespace tapwell {
namespace {

TEST(AppModel, EachPublishedChangeRaisesItsOwnSignal) {
    test::RecordingState state(TAPWELL_TEST_RESOURCE_DIR);
    AppModel model(state);
    QSignalSpy snapshot(&model, &AppModel::snapshotChanged);
    QSignalSpy sound(&model, &AppModel::soundChanged);
    QSignalSpy any(&model, &AppModel::changed);

    state.publish(Published::snapshot | Published::menuBar);
    EXPECT_EQ(snapshot.count(), 1);
    EXPECT_EQ(sound.count(), 0);
    ASSERT_EQ(any.count(), 1);
    const auto bits = any.takeFirst().at(0).toUInt();
    EXPECT_EQ(bits, (Published::snapshot | Published::menuBar).bits());
}

TEST(AppModel, CommandsChangeOneSettingAndKeepTheOthers) {
    test::RecordingState state(TAPWELL_TEST_RESOURCE_DIR);
    state.soundValue.alertVolume = 0.4;
    AppModel model(state);
    model.setTypingVolume(0.3);
    EXPECT_EQ(state.soundValue.typingVolume, 0.3);
    EXPECT_EQ(state.soundValue.alertVolume, 0.4);
    model.updatePreferences([](AppPreferences& p) { p.showCount = true; });
    model.updatePreferences([](AppPreferences& p) { p.showCount = true; });  // no change
    EXPECT_EQ(std::count(state.calls.begin(), state.calls.end(), "setPreferences"), 1);
    model.selectTheme(QStringLiteral("clicky"));
    EXPECT_TRUE(state.called("selectTheme:clicky"));
}

TEST(MenuBarStatus, PublishesOnlyWhenTheShownValueChanges) {
    MenuBarStatus status;
    int published = 0;
    status.onChange = [&] { ++published; };
    status.update(std::nullopt);
    status.update(12);
    status.update(12);
    status.setLanguage("en");
    status.setLanguage("ja");
    status.update(std::nullopt);
    EXPECT_EQ(published, 3);
    EXPECT_EQ(status.state(), (MenuBarState{std::nullopt, "ja"}));
}

}  // namespace
}  // namespace tapwell
