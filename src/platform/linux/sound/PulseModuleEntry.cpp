// The entry of the sound server module (libtapwell-pulse.so): the device output and the sink list
// with libpulse, for a program that loads it when it plays to the device (see
// platform/linux/PulseModule.h).

#include "platform/linux/PulseModule.h"
#include "platform/linux/sound/PulseOutputDevices.h"
#include "sound/AudioOutputChoice.h"

namespace {

std::shared_ptr<tapwell::AudioOutput> makeDeviceOutput(std::size_t periodFrames,
                                                       tapwell::DirectOutputOpener openDirect) {
    tapwell::AudioOutputChoice choice;
    choice.kind = tapwell::AudioOutputChoice::Kind::device;
    choice.periodFrames = periodFrames;
    return tapwell::makeAudioOutput(choice, std::move(openDirect));
}

std::shared_ptr<tapwell::OutputDevices> makeOutputDevices() {
    return std::make_shared<tapwell::PulseOutputDevices>();
}

const tapwell::PulseModule pulseModule{&makeDeviceOutput, &makeOutputDevices};

}  // namespace

extern "C" __attribute__((visibility("default"))) const tapwell::PulseModule*
tapwell_pulse_module() {
    return &pulseModule;
}
