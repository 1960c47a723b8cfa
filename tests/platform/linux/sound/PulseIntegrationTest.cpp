// The PulseAudio adapters against a private PulseAudio server with two null sinks: "hdmi" (the
// default) and "spk", which carries the properties of internal speakers; the server output's
// stream against PipeWire's pulse server as well, and PipeWire's own stream. Skipped where a
// server is not installed.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdlib>
#include <thread>

#include "platform/linux/sound/AudioOutputFactory.h"
#include "platform/linux/sound/DirectOutputFakes.h"
#include "platform/linux/sound/PipeWireOutput.h"
#include "platform/linux/sound/PulseAudioOutput.h"
#include "platform/linux/sound/PulseDefaultSinkWatcher.h"
#include "platform/linux/sound/PulseOutputDevices.h"
#include "platform/linux/sound/SdlAudioOutput.h"
#include "sound/Mixer.h"
#include "sound/SoundEngine.h"
#include "sound/SoundTestSupport.h"
#include "support/TempDir.h"

extern char** environ;

namespace tapwell {
namespace {

// A private sound server that answers the PulseAudio protocol, in `dir`: PulseAudio itself with
// two null sinks, "hdmi" (the default) and "spk", which carries the properties of internal
// speakers; or PipeWire (with its session manager and pulse server, on a bus of their own) with
// the null sink "hdmi" as the default.
class PrivatePulseServer {
  public:
    explicit PrivatePulseServer(const std::filesystem::path& dir, bool pipewire = false)
        : dir_(dir), socket_(pipewire ? dir / "pulse" / "native" : dir / "native") {
        if (pipewire) {
            const std::string bus = "unix:path=" + (dir / "bus").string();
            spawn({"dbus-daemon", "--session", "--nofork", "--address=" + bus}, "bus.log");
            env_.push_back("DBUS_SESSION_BUS_ADDRESS=" + bus);
            spawn({"pipewire"}, "pipewire.log");
            spawn({"wireplumber"}, "wireplumber.log");
            spawn({"pipewire-pulse"}, "pipewire-pulse.log");
        } else {
            spawn({"pulseaudio", "-n", "--daemonize=no", "--exit-idle-time=-1", "--disable-shm=yes",
                   "--use-pid-file=no", "--log-target=stderr", "-L",
                   "module-native-protocol-unix auth-anonymous=1 socket=" + socket_.string(), "-L",
                   "module-null-sink sink_name=hdmi sink_properties=device.description=HDMI", "-L",
                   "module-null-sink sink_name=spk sink_properties='device.description=Speakers "
                   "device.form_factor=internal'"},
                  "server.log");
        }
        // The server is up once it answers on its socket (and, for PipeWire, plays to its sink).
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (!pids_.empty() && std::chrono::steady_clock::now() < deadline) {
            if (std::filesystem::exists(socket_) &&
                PulseOutputDevices(server(), std::chrono::milliseconds(500)).outputDevices() &&
                (!pipewire || ready())) {
                up_ = true;
                break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    }

    ~PrivatePulseServer() {
        for (auto pid = pids_.rbegin(); pid != pids_.rend(); ++pid) {
            kill(*pid, SIGTERM);
            int status = 0;
            waitpid(*pid, &status, 0);
        }
    }

    bool isUp() const { return up_; }
    std::string server() const { return "unix:" + socket_.string(); }

    // Runs pactl with `arguments` (a shell command line may follow them when `quiet` is false).
    int pactl(const std::string& arguments, bool quiet = true) const {
        return std::system(
            ("pactl -s " + server() + " " + arguments + (quiet ? " >/dev/null 2>&1" : "")).c_str());
    }

  private:
    void spawn(std::vector<std::string> args, const char* log) {
        std::vector<char*> argv;
        for (auto& arg : args) {
            argv.push_back(arg.data());
        }
        argv.push_back(nullptr);
        std::vector<std::string> envStrings = env_;
        envStrings.push_back("HOME=" + dir_.string());
        envStrings.push_back("XDG_RUNTIME_DIR=" + dir_.string());
        envStrings.push_back(std::string("PATH=") +
                             (std::getenv("PATH") ? std::getenv("PATH") : "/usr/bin"));
        std::vector<char*> envp;
        for (auto& entry : envStrings) {
            envp.push_back(entry.data());
        }
        envp.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 2, (dir_ / log).c_str(),
                                         O_WRONLY | O_CREAT | O_TRUNC, 0600);
        pid_t pid = 0;
        if (posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), envp.data()) == 0) {
            pids_.push_back(pid);
        }
        posix_spawn_file_actions_destroy(&actions);
    }

    // PipeWire's session manager takes a moment after the server answers before a sink it is
    // given becomes the default.
    bool ready() const {
        if (pactl("list short sinks | grep -q hdmi", false) != 0 &&
            pactl("load-module module-null-sink sink_name=hdmi "
                  "sink_properties=device.description=HDMI") != 0) {
            return false;
        }
        pactl("set-default-sink hdmi");
        return pactl("info | grep -q 'Default Sink: hdmi'", false) == 0;
    }

    std::filesystem::path dir_;
    std::filesystem::path socket_;
    std::vector<std::string> env_;
    std::vector<pid_t> pids_;
    bool up_ = false;
};

// The first of `programs` that is not installed; empty when all are.
std::string missingProgram(std::initializer_list<std::string> programs) {
    for (const std::string& program : programs) {
        if (std::system(("command -v " + program + " >/dev/null 2>&1").c_str()) != 0) {
            return program;
        }
    }
    return {};
}

// A fixture (over `Base`) that starts a private server in its own folder, or skips the test where
// the server cannot be had.
template <typename Base>
class WithPrivateServer : public Base {
  protected:
    void startServer(bool pipewire) {
#if defined(__SANITIZE_THREAD__)
        GTEST_SKIP() << "libpulse is not built for the thread sanitizer; its own threads report "
                        "false races";
#endif
        const std::string missing =
            pipewire ? missingProgram({"pipewire", "wireplumber", "pipewire-pulse", "dbus-daemon"})
                     : missingProgram({"pulseaudio"});
        if (!missing.empty()) {
            GTEST_SKIP() << missing << " is not installed";
        }
        server = std::make_unique<PrivatePulseServer>(dir.path(), pipewire);
        ASSERT_TRUE(server->isUp()) << "the private sound server did not start";
    }

    test::TempDir dir;
    std::unique_ptr<PrivatePulseServer> server;
};

class PulseIntegrationTest : public WithPrivateServer<::testing::Test> {
  protected:
    void SetUp() override { startServer(false); }

    // An engine with one test theme playing to `output`, choosing among the server's sinks.
    auto makeEngine(std::shared_ptr<AudioOutput> output) {
        SoundEngine::Dependencies dependencies;
        dependencies.output = std::move(output);
        dependencies.devices = std::make_shared<PulseOutputDevices>(server->server());
        return SoundEngine::create({test::writeTestTheme(dir.path(), {})}, std::nullopt,
                                   std::move(dependencies));
    }
};

TEST_F(PulseIntegrationTest, ListsSinksWithTheBuiltInSpeakersAndTheDefault) {
    PulseOutputDevices devices(server->server());
    auto list = devices.outputDevices();
    ASSERT_TRUE(list.has_value()) << list.error().description;
    ASSERT_EQ(list->size(), 2u);
    EXPECT_EQ((*list)[0].device, (AudioDevice{"hdmi", "HDMI"}));
    EXPECT_FALSE((*list)[0].builtIn);
    EXPECT_EQ((*list)[1].device, (AudioDevice{"spk", "Speakers"}));
    EXPECT_TRUE((*list)[1].builtIn);
    EXPECT_TRUE((*list)[1].hasOutput);
    auto fallback = devices.defaultOutputDevice();
    ASSERT_TRUE(fallback.has_value());
    EXPECT_EQ(fallback->id, "hdmi");
}

TEST_F(PulseIntegrationTest, ReportsAChangeOfTheDefaultSink) {
    std::mutex mutex;
    std::condition_variable changed;
    int changes = 0;
    PulseDefaultSinkWatcher watcher(server->server(), [&] {
        std::lock_guard lock(mutex);
        ++changes;
        changed.notify_all();
    });
    ASSERT_TRUE(watcher.isWatching());
    ASSERT_EQ(server->pactl("set-default-sink spk"), 0);
    std::unique_lock lock(mutex);
    EXPECT_TRUE(changed.wait_for(lock, std::chrono::seconds(5), [&] { return changes >= 1; }));
}

TEST_F(PulseIntegrationTest, RoutesTheEngineToTheBuiltInSpeakersAndBack) {
#if defined(__SANITIZE_ADDRESS__)
    // SDL's PulseAudio backend leaves libpulse allocations behind at exit, and while its
    // threads run even our own short-lived connections leave a main-loop event to the leak
    // checker; the device list alone is checked by the tests above.
    GTEST_SKIP() << "SDL's PulseAudio backend leaks under the leak checker";
#endif
    test::ScopedEnv driver("SDL_AUDIODRIVER", "pulseaudio");
    test::ScopedEnv pulse("PULSE_SERVER", server->server().c_str());
    auto output = std::make_shared<SdlAudioOutput>(256);
    auto engine = makeEngine(output);
    ASSERT_TRUE(engine.has_value()) << describe(engine.error());
    ASSERT_TRUE((*engine)->setBuiltInOutput(true).has_value());
    EXPECT_EQ(output->currentDevice(), (AudioDevice{"spk", "Speakers"}));
    EXPECT_TRUE(output->isRunning());
    ASSERT_TRUE((*engine)->setBuiltInOutput(false).has_value());
    EXPECT_EQ(output->currentDevice(), (AudioDevice{"hdmi", "HDMI"}));
    EXPECT_TRUE(output->isRunning());
}

// Waits up to ten seconds (a loaded machine is slow to hear from the server) for `done`,
// checking every 20 ms.
template <typename Condition>
bool eventually(Condition done) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

// Every sink goes away while the engine plays on one (a USB headset pulled out, the sound server
// restarted): the output notices and the engine survives without a device. (How sound comes back
// is the next test's.)
// Disabled: with the last sink gone the server has no default sink, and SDL 2.26's PulseAudio
// hot-plug thread copies the missing default's name (a null pointer) and crashes, every few
// runs on a loaded machine. The program no longer starts SDL's audio while the server
// output plays and falls back to SDL only where the server output cannot start (usually: no
// server, and SDL plays through ALSA). Run it by hand with --gtest_also_run_disabled_tests.
TEST_F(PulseIntegrationTest, DISABLED_SinksThatGoAwayWhilePlayingAreSurvived) {
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "SDL's PulseAudio backend leaks under the leak checker";
#endif
    test::ScopedEnv driver("SDL_AUDIODRIVER", "pulseaudio");
    test::ScopedEnv pulse("PULSE_SERVER", server->server().c_str());
    auto output = std::make_shared<SdlAudioOutput>(256);
    auto engine = makeEngine(output);
    ASSERT_TRUE(engine.has_value()) << describe(engine.error());
    ASSERT_TRUE((*engine)->setBuiltInOutput(true).has_value());
    (*engine)->setAmbience(true, 1.0f);
    (*engine)->play({KeyKind::normal, true, 1.0});

    ASSERT_EQ(server->pactl("unload-module module-null-sink"), 0);
    EXPECT_TRUE(eventually([&] { return !output->isRunning(); }))
        << "the output did not notice that its sink went away";
    (*engine)->play({KeyKind::normal, true, 2.0});  // played into nothing, harmlessly
    (*engine)->waitUntilIdle();
    EXPECT_FALSE(output->isRunning());
}

// Every sink gone (and no other way to a device), the engine plays into the null output; the
// first sink that appears brings the sound back without a restart of the program.
TEST_F(PulseIntegrationTest, SoundReturnsWhenASinkComesBack) {
    test::ScopedEnv driver("SDL_AUDIODRIVER", "no-such-driver");
    test::ScopedEnv pulse("PULSE_SERVER", server->server().c_str());
    auto engine = makeEngine(makeAudioOutput(AudioOutputChoice{}, &test::openSdl));
    ASSERT_TRUE(engine.has_value()) << describe(engine.error());
    const auto playingOnServer = [&] {
        return server->pactl("list sink-inputs | grep -qi 'tapwell'", false) == 0;
    };
    ASSERT_TRUE(eventually(playingOnServer));

    ASSERT_EQ(server->pactl("unload-module module-null-sink"), 0);
    // Reopened without the server, and watching it for a sink.
    ASSERT_TRUE(eventually([&] {
        return !playingOnServer() &&
               server->pactl("list clients | grep -q 'tapwell-watch'", false) == 0;
    }));
    (*engine)->play({KeyKind::normal, true, 1.0});

    ASSERT_EQ(server->pactl("load-module module-null-sink sink_name=back"), 0);
    EXPECT_TRUE(eventually(playingOnServer)) << "the sound did not come back to the new sink";
    (*engine)->play({KeyKind::normal, true, 2.0});
    (*engine)->waitUntilIdle();
}

// While the server plays, the direct output is never made, not even for a device chosen; once no
// sink is left it is, and plays the device chosen last.
TEST_F(PulseIntegrationTest, TheDirectOutputIsMadeOnlyWhenNoSinkPlays) {
    test::ScopedEnv pulse("PULSE_SERVER", server->server().c_str());
    test::DirectOpener direct;
    auto output = makeAudioOutput(AudioOutputChoice{}, direct.opener());
    const AudioDevice speakers{"spk", "Speakers"};
    ASSERT_TRUE(output->setCurrentDevice(speakers).has_value());
    Mixer mixer;
    ASSERT_TRUE(output->start(mixer).has_value());
    EXPECT_EQ(direct.opened, 0);
    output->stop();

    ASSERT_EQ(server->pactl("unload-module module-null-sink"), 0);
    ASSERT_TRUE(output->start(mixer).has_value());
    ASSERT_EQ(direct.opened, 1);
    EXPECT_TRUE(direct.made->running);
    EXPECT_EQ(direct.made->device, speakers);
    output->stop();
    EXPECT_FALSE(direct.made->running);
}

// Passes everything on to a mixer and notes, on the render thread, the loudest sample rendered and
// the frame the first sound started at, beside the frame written up to before it.
class WatchedMixer final : public RenderSource {
  public:
    void render(float* mono, std::size_t frames) noexcept override {
        const std::uint64_t at = mixer.position();
        const std::uint64_t written = farthest;
        mixer.render(mono, frames);
        note(mono, frames);
        // The test's sounds are steady from their first frame: one that starts here shows at once.
        if (mono[0] != 0.0f && commandFrame.load() == 0) {
            commandFrame.store(at);
            writtenBeforeCommand.store(written);
        }
    }
    void renderAhead(float* mono, std::size_t frames) noexcept override {
        mixer.renderAhead(mono, frames);
        note(mono, frames);
    }
    bool isQuiet() const noexcept override { return mixer.isQuiet(); }
    bool armWake(RenderWaker& waker) noexcept override { return mixer.armWake(waker); }
    void disarmWake() noexcept override { mixer.disarmWake(); }
    std::size_t setRewindWindow(std::size_t frames) noexcept override {
        return mixer.setRewindWindow(frames);
    }
    std::uint64_t position() const noexcept override { return mixer.position(); }
    bool hasCommands() const noexcept override { return mixer.hasCommands(); }
    std::uint64_t rewindTo(std::uint64_t frame) noexcept override { return mixer.rewindTo(frame); }
    void commit(std::uint64_t frame) noexcept override { mixer.commit(frame); }

    Mixer mixer;
    std::atomic<float> loudest{0.0f};
    std::atomic<std::uint64_t> commandFrame{0};
    std::atomic<std::uint64_t> writtenBeforeCommand{0};

  private:
    void note(const float* mono, std::size_t frames) {
        for (std::size_t i = 0; i < frames; ++i) {
            if (std::fabs(mono[i]) > loudest.load(std::memory_order_relaxed)) {
                loudest.store(std::fabs(mono[i]), std::memory_order_relaxed);
            }
        }
        farthest = std::max(farthest, mixer.position());
    }

    std::uint64_t farthest = 0;  // render thread
};

SharedPcmBuffer steady(float level, std::size_t frames) {
    auto sound = std::make_shared<PcmBuffer>();
    sound->samples.assign(frames, PcmBuffer::quantize(level));
    return sound;
}

// The server output's stream against PulseAudio and against PipeWire's pulse server, which
// queue and take back frames each in their own way.
class ServerStreamTest : public WithPrivateServer<::testing::TestWithParam<bool>> {
  protected:
    void SetUp() override { startServer(GetParam()); }
};

INSTANTIATE_TEST_SUITE_P(Servers, ServerStreamTest, ::testing::Bool(), [](const auto& server) {
    return server.param ? "PipeWire" : "PulseAudio";
});

// Corked on the server while quiet (so that neither side wakes up), playing again from the next
// sound's first frame, and asleep again after it.
TEST_P(ServerStreamTest, TheStreamCorksWhileQuietAndPlaysTheNextSound) {
    WatchedMixer source;
    source.mixer.setBusGains(1.0f, 1.0f, 1.0f);
    PulseAudioOutput output(128, server->server(), 1024);
    ASSERT_TRUE(output.start(source).has_value());
    const auto corkedOnServer = [&] {
        return server->pactl("list sink-inputs | grep -q 'Corked: yes'", false) == 0;
    };
    ASSERT_TRUE(eventually([&] { return output.isAsleep() && corkedOnServer(); }));
    source.mixer.play(Mixer::typingVoice(0), steady(0.5f, 4800), 1.0f);
    EXPECT_TRUE(eventually([&] { return source.loudest.load() == 0.5f; }));
    EXPECT_EQ(output.wakeCount(), 1u);
    EXPECT_TRUE(eventually([&] { return output.isAsleep() && corkedOnServer(); }))
        << "corked again once the sound ended";
    output.stop();
    EXPECT_FALSE(output.isRunning());
}

// Both servers take back what they have queued but not played: the stream queues far ahead, and
// a sound asked for while it plays starts just ahead of the frame playing, not behind the queue.
// While it plays, the server's regular timing reports place each sound without a question first.
TEST_P(ServerStreamTest, ANewSoundIsWrittenOverTheQueueFromJustAheadOfWhatPlays) {
    WatchedMixer source;
    source.mixer.setBusGains(1.0f, 1.0f, 1.0f);
    PulseAudioOutput output(128, server->server(), 10 * pcmSampleRate);
    ASSERT_TRUE(output.start(source).has_value());
    // A sixth to a quarter of a second queued, asked for a twelfth at a time: never less than a
    // twelfth ahead.
    ASSERT_TRUE(eventually([&] { return source.position() >= 2 * pcmSampleRate; }));
    const std::uint64_t questions = output.questionCount();
    // The second sound comes after the first was written without a question, so it also shows
    // that the loop still hears commands after such a write.
    for (const float level : {0.25f, 0.5f}) {
        source.commandFrame.store(0);
        auto sound = steady(level, 4800);
        std::weak_ptr<const PcmBuffer> watch = sound;
        source.mixer.play(Mixer::typingVoice(0), std::move(sound), 1.0f);
        ASSERT_TRUE(eventually([&] { return source.loudest.load() == level; }));
        ASSERT_NE(source.commandFrame.load(), 0u);
        EXPECT_LT(source.commandFrame.load() + pcmSampleRate / 20,
                  source.writtenBeforeCommand.load())
            << "the sound at " << level << " was queued behind what was written, not over it";
        // Once played and past every frame that could be written again, the buffer goes back.
        EXPECT_TRUE(eventually([&] {
            source.mixer.collectRetired();
            return watch.expired();
        }));
    }
    EXPECT_EQ(output.questionCount(), questions);
    output.stop();
}

// PipeWire's own stream, against a private PipeWire server.
class PipeWireStreamTest : public WithPrivateServer<::testing::Test> {
  protected:
    void SetUp() override { startServer(true); }
    std::string remote() const { return (dir.path() / "pipewire-0").string(); }
    // A pactl command line that succeeds when a stream plays on the sink `name`.
    std::string onSink(const std::string& name) const {
        return "list short sink-inputs | awk '{print $2}' | grep -qx \"$(pactl -s " +
               server->server() + " list short sinks | awk '$2 == \"" + name + "\" {print $1}')\"";
    }
};

// Inactive while quiet (the graph does not call it), active again for the next sound, which plays
// from its first frame, and inactive again after it.
TEST_F(PipeWireStreamTest, TheStreamSleepsWhileQuietAndPlaysTheNextSound) {
    WatchedMixer source;
    source.mixer.setBusGains(1.0f, 1.0f, 1.0f);
    PipeWireOutput output(128, remote(), 1024);
    ASSERT_TRUE(output.start(source).has_value());
    ASSERT_TRUE(eventually([&] { return output.isAsleep(); }));
    const std::uint64_t asleepAt = source.position();
    source.mixer.play(Mixer::typingVoice(0), steady(0.5f, 4800), 1.0f);
    EXPECT_TRUE(eventually([&] { return source.loudest.load() == 0.5f; }));
    EXPECT_EQ(source.commandFrame.load(), asleepAt) << "the sound did not start the first render";
    EXPECT_EQ(output.wakeCount(), 1u);
    EXPECT_TRUE(eventually([&] { return output.isAsleep(); })) << "asleep again once it ended";
    output.stop();
    EXPECT_FALSE(output.isRunning());
    EXPECT_FALSE(output.isAsleep());
}

// The server going away is reported once; the output can then be stopped and started again on the
// server that is there now, or fails to start without one.
TEST_F(PipeWireStreamTest, ReportsTheServerGoneAndFailsToStartWithoutOne) {
    Mixer mixer;
    PipeWireOutput output(128, remote());
    std::atomic<int> reports{0};
    output.setConfigurationChangeHandler([&] { ++reports; });
    ASSERT_TRUE(output.start(mixer).has_value());
    server.reset();
    EXPECT_TRUE(eventually([&] { return reports.load() == 1; }));
    output.stop();
    EXPECT_EQ(reports.load(), 1);
    auto started = output.start(mixer);
    ASSERT_FALSE(started.has_value());
    EXPECT_EQ(started.error().domain, "pipewire");
    EXPECT_FALSE(output.isRunning());
}

// Its sink gone and no other there, the stream plays into nothing (PipeWire drives it on), so that
// sounds are not kept for later; it moves to the next sink that comes.
TEST_F(PipeWireStreamTest, WithoutASinkItPlaysIntoNothingAndMovesToTheNextSink) {
    WatchedMixer source;
    source.mixer.setBusGains(1.0f, 1.0f, 1.0f);
    PipeWireOutput output(128, remote());
    std::atomic<int> reports{0};
    output.setConfigurationChangeHandler([&] { ++reports; });
    ASSERT_TRUE(output.start(source).has_value());
    ASSERT_EQ(server->pactl("unload-module module-null-sink"), 0);
    source.mixer.play(Mixer::typingVoice(0), steady(0.5f, 480), 1.0f);
    EXPECT_TRUE(eventually([&] { return source.loudest.load() == 0.5f; }));
    ASSERT_EQ(server->pactl("load-module module-null-sink sink_name=back"), 0);
    EXPECT_TRUE(eventually([&] { return server->pactl(onSink("back"), false) == 0; }));
    EXPECT_EQ(reports.load(), 0);
    output.stop();
}

// A sink chosen by name: the stream plays there and stays there, and reports the sink gone.
TEST_F(PipeWireStreamTest, PlaysOnTheSinkItIsGivenAndReportsItGone) {
    ASSERT_EQ(server->pactl("load-module module-null-sink sink_name=spk"), 0);
    Mixer mixer;
    PipeWireOutput output(128, remote());
    std::atomic<int> reports{0};
    output.setConfigurationChangeHandler([&] { ++reports; });
    ASSERT_TRUE(output.setCurrentDevice(AudioDevice{"spk", "Speakers"}).has_value());
    ASSERT_TRUE(output.start(mixer).has_value());
    EXPECT_TRUE(eventually([&] { return server->pactl(onSink("spk"), false) == 0; }));
    ASSERT_EQ(server->pactl("unload-module module-null-sink"), 0);
    EXPECT_TRUE(eventually([&] { return reports.load() == 1; }));
    output.stop();
    EXPECT_FALSE(output.start(mixer).has_value()) << "started without its sink";
    EXPECT_EQ(output.currentDevice(), (AudioDevice{"spk", "Speakers"}));
}

// The device output takes PipeWire's own stream when the session's server is PipeWire, for the
// default sink and for a sink chosen by name.
TEST_F(PipeWireStreamTest, TheDeviceOutputPlaysThroughItsOwnStream) {
    test::ScopedEnv runtime("XDG_RUNTIME_DIR", dir.path().c_str());
    test::ScopedEnv pipewireRuntime("PIPEWIRE_RUNTIME_DIR", dir.path().c_str());
    test::ScopedEnv pipewireRemote("PIPEWIRE_REMOTE", nullptr);
    test::ScopedEnv pulse("PULSE_SERVER", nullptr);
    const auto playing = [&] {
        return server->pactl("list sink-inputs | grep -q 'Typing sounds'", false) == 0;
    };
    const auto throughPulse = [&] {
        return server->pactl("list sink-inputs | grep -q 'client.api = \"pipewire-pulse\"'",
                             false) == 0;
    };
    Mixer mixer;
    test::DirectOpener direct;
    auto output = makeAudioOutput(AudioOutputChoice{}, direct.opener());
    ASSERT_TRUE(output->start(mixer).has_value());
    EXPECT_TRUE(eventually(playing));
    EXPECT_FALSE(throughPulse());
    output->stop();
    EXPECT_TRUE(eventually([&] { return !playing(); }));

    ASSERT_EQ(server->pactl("load-module module-null-sink sink_name=spk"), 0);
    ASSERT_TRUE(output->setCurrentDevice(AudioDevice{"spk", "Speakers"}).has_value());
    ASSERT_TRUE(output->start(mixer).has_value());
    EXPECT_TRUE(eventually([&] { return server->pactl(onSink("spk"), false) == 0; }));
    EXPECT_FALSE(throughPulse());
    output->stop();
    EXPECT_EQ(direct.opened, 0);
}

TEST_F(PulseIntegrationTest, TheServerOutputPlaysOnTheSinkItIsGivenAndReportsItGone) {
    PulseAudioOutput output(128, server->server());
    auto unknown = output.setCurrentDevice(AudioDevice{"nowhere", "Nowhere"});
    ASSERT_FALSE(unknown.has_value());
    EXPECT_EQ(unknown.error().code, PulseAudioOutput::noSuchDevice);
    EXPECT_EQ(output.currentDevice(), std::nullopt);
    ASSERT_TRUE(output.setCurrentDevice(AudioDevice{"spk", "Speakers"}).has_value());

    std::mutex mutex;
    std::condition_variable changed;
    int changes = 0;
    output.setConfigurationChangeHandler([&] {
        std::lock_guard lock(mutex);
        ++changes;
        changed.notify_all();
    });
    Mixer mixer;
    ASSERT_TRUE(output.start(mixer).has_value());
    EXPECT_TRUE(eventually([&] {
        return server->pactl("list sink-inputs | grep -q 'Sink: 1$'", false) == 0;
    })) << "not on the speakers (sink 1)";
    ASSERT_EQ(server->pactl("unload-module module-null-sink"), 0);
    std::unique_lock lock(mutex);
    EXPECT_TRUE(changed.wait_for(lock, std::chrono::seconds(10), [&] { return changes >= 1; }));
    lock.unlock();
    output.setConfigurationChangeHandler({});
    output.stop();
}

TEST_F(PulseIntegrationTest, TheServerOutputFollowingTheDefaultReportsItsChange) {
    PulseAudioOutput output(128, server->server());
    std::mutex mutex;
    std::condition_variable changed;
    int changes = 0;
    output.setConfigurationChangeHandler([&] {
        std::lock_guard lock(mutex);
        ++changes;
        changed.notify_all();
    });
    Mixer mixer;
    ASSERT_TRUE(output.start(mixer).has_value());
    ASSERT_EQ(server->pactl("set-default-sink spk"), 0);
    std::unique_lock lock(mutex);
    EXPECT_TRUE(changed.wait_for(lock, std::chrono::seconds(10), [&] { return changes >= 1; }));
    lock.unlock();
    output.setConfigurationChangeHandler({});
    output.stop();
}

TEST_F(PulseIntegrationTest, TheServerOutputFailsToStartWithoutAServer) {
    PulseAudioOutput output(128, "unix:" + (dir / "none").string());
    Mixer mixer;
    auto started = output.start(mixer);
    ASSERT_FALSE(started.has_value());
    EXPECT_EQ(started.error().domain, "pulse");
    EXPECT_FALSE(output.isRunning());
}

TEST(PulseDefaultSinkWatcher, StaysIdleWithoutAServer) {
    test::TempDir dir;
    PulseDefaultSinkWatcher watcher("unix:" + (dir / "none").string(), [] {});
    EXPECT_FALSE(watcher.isWatching());
}

}  // namespace
}  // namespace tapwell
