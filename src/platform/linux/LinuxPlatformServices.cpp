// The Linux services of the application: key events from evdev or X11, the X11 hot key, power and
// folder events, and the sound output of the command line's choice.

#include <dlfcn.h>
#include <signal.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <system_error>
#include <thread>

#include "core/Log.h"
#include "platform/PlatformServices.h"
#include "platform/fallback/NullAudioOutput.h"
#include "platform/fallback/UnavailableHotKeyService.h"
#include "platform/linux/PulseModule.h"
#include "platform/linux/SdlModule.h"
#include "platform/linux/keyboard/EvdevOrX11KeyTap.h"
#include "platform/linux/keyboard/X11HotKeyService.h"
#include "platform/linux/sound/WavRealtimeAudioOutput.h"
#include "platform/linux/system/LinuxSystemEventsPlatform.h"
#include "platform/linux/x11/X11CompositingProbe.h"
#include "platform/linux/x11/X11ErrorTrap.h"

namespace tapwell {

namespace {

// A program installed without its sound server module still plays: to the device directly, else
// to nothing, saying why.
std::shared_ptr<AudioOutput> openWithoutServer(std::size_t periodFrames, const std::string& why) {
    auto& log = logger(LogCategory::audio);
    log.warn("No sound server output ({}), opening the sound device through SDL", why);
    auto direct = openSdlThroughModule(periodFrames);
    if (direct) {
        return std::shared_ptr<AudioOutput>(std::move(*direct));
    }
    log.warn("No audio device opened, playing to the null output: {}", direct.error().description);
    return std::make_shared<NullAudioOutput>(periodFrames);
}

}  // namespace

PlatformServices makePlatformServices(const AudioOutputChoice& audio) {
    PlatformServices services;
    const char* display = std::getenv("DISPLAY");
    services.hasDisplay = display != nullptr && *display != '\0';
    services.keyTap = EvdevOrX11KeyTap::makeDefault();
    if (services.hasDisplay) {
        services.hotKeys = std::make_unique<X11HotKeyService>();
        auto probe = std::make_shared<X11CompositingProbe>();
        services.compositing = [probe] { return probe->active(); };
    } else {
        services.hotKeys = std::make_unique<UnavailableHotKeyService>();
    }
    services.system = makeLinuxSystemEventsPlatform();
    services.makeSoundEngine = [choice = audio](const std::vector<LoadedTheme>& themes,
                                                const std::optional<std::string>& preferredID)
        -> std::expected<std::unique_ptr<SoundEngine>, std::string> {
        SoundEngine::Dependencies dependencies;
        switch (choice.kind) {
            case AudioOutputChoice::Kind::null:
                dependencies.output = std::make_shared<NullAudioOutput>(choice.periodFrames);
                break;
            case AudioOutputChoice::Kind::wav:
                dependencies.output =
                    std::make_shared<WavRealtimeAudioOutput>(choice.file, choice.periodFrames);
                break;
            case AudioOutputChoice::Kind::device:
                if (auto module = loadPulseModule()) {
                    dependencies.output =
                        (*module)->makeDeviceOutput(choice.periodFrames, &openSdlThroughModule);
                    dependencies.devices = (*module)->makeOutputDevices();
                } else {
                    dependencies.output = openWithoutServer(choice.periodFrames, module.error());
                }
                break;
        }
        auto engine = SoundEngine::create(themes, preferredID, std::move(dependencies));
        if (!engine) {
            return std::unexpected(describe(engine.error()));
        }
        return std::move(*engine);
    };
    return services;
}

void watchTerminationSignals(std::function<void(int signal)> handler) {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    sigaddset(&set, SIGHUP);
    // Blocked here, the signals stay blocked in every thread started later and reach sigwait.
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
    std::thread([set, handler = std::move(handler)] {
        for (;;) {
            int signal = 0;
            if (sigwait(&set, &signal) == 0) {
                handler(signal);
            }
        }
    }).detach();
}

std::expected<void*, std::string> loadProgramModule(const std::string& file, const char* entry) {
    std::error_code error;
    const std::filesystem::path executable = std::filesystem::read_symlink("/proc/self/exe", error);
    if (error) {
        return std::unexpected("the program's own path is unknown: " + error.message());
    }
    const std::filesystem::path folder = executable.parent_path();
    std::string failures;
    for (const std::filesystem::path& candidate :
         {folder / ".." / "lib" / "tapwell" / "modules" / file, folder / file}) {
        if (!std::filesystem::exists(candidate, error)) {
            continue;
        }
        // Global, so that the module's Qt plug-ins and type information meet the program's.
        void* handle = dlopen(candidate.c_str(), RTLD_NOW | RTLD_GLOBAL);
        if (handle == nullptr) {
            failures += std::string(failures.empty() ? "" : "; ") + dlerror();
            continue;
        }
        if (void* symbol = dlsym(handle, entry)) {
            return symbol;
        }
        return std::unexpected(candidate.string() + " has no " + entry);
    }
    if (failures.empty()) {
        return std::unexpected(file + " is not installed beside " + executable.string());
    }
    return std::unexpected(failures);
}

void watchDisplayConnection(std::function<void()> handler) {
    X11ErrorTrap::setConnectionLostHandler(std::move(handler));
}

namespace {
std::atomic<Display*> toolkitDisplay{nullptr};
}

void adoptToolkitDisplay(void* xlibDisplay) {
    if (xlibDisplay != nullptr) {
        X11ErrorTrap::adopt(static_cast<Display*>(xlibDisplay));
        toolkitDisplay = static_cast<Display*>(xlibDisplay);
    }
}

void probeToolkitDisplay() {
    Display* display = toolkitDisplay;
    if (display != nullptr && !X11ErrorTrap::isBroken(display)) {
        XSync(display, False);
    }
}

}  // namespace tapwell
