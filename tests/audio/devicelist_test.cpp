// The device walk over a stand-in OpenAL: which devices become records, and how they are probed.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "audio/openal.h"

namespace {

// The stand-in world. Devices are the numbers 1, 2, 3 ... disguised as pointers.
struct FakeDevice {
    std::string ownName;    // what the opened device reports; "" reports nothing
    bool givesContext = true;
    int sourcesBeforeFailure = 256;
};
std::map<std::string, int> deviceByName;  // enumerated name -> device number (0: does not open)
std::map<int, FakeDevice> devices;
const char* enumerated = nullptr;  // zero-separated names, ended by an empty name
const char* defaultName = nullptr;
std::vector<int> closed;
int current = 0;  // device of the current context
int generated = 0;
ALenum lastError = AL_NO_ERROR;

ALCdevice* AsDevice(int n) { return reinterpret_cast<ALCdevice*>(static_cast<uintptr_t>(n)); }
int DeviceNumber(const void* p) { return static_cast<int>(reinterpret_cast<uintptr_t>(p)); }

ALCboolean FakeAlcIsExtensionPresent(ALCdevice*, const ALCchar* name) {
    return std::strcmp(name, "ALC_ENUMERATION_EXT") == 0 || std::strcmp(name, "ALC_EXT_EFX") == 0;
}
const ALCchar* FakeAlcGetString(ALCdevice* device, ALCenum param) {
    if (!device) return param == ALC_DEVICE_SPECIFIER ? enumerated : defaultName;
    const std::string& own = devices[DeviceNumber(device)].ownName;
    return own.empty() ? nullptr : own.c_str();
}
ALCdevice* FakeAlcOpenDevice(const ALCchar* name) {
    auto it = deviceByName.find(name ? name : "");
    return it == deviceByName.end() ? nullptr : AsDevice(it->second);
}
ALCboolean FakeAlcCloseDevice(ALCdevice* device) {
    closed.push_back(DeviceNumber(device));
    return ALC_TRUE;
}
ALCcontext* FakeAlcCreateContext(ALCdevice* device, const ALCint*) {
    int n = DeviceNumber(device);
    return devices[n].givesContext ? reinterpret_cast<ALCcontext*>(static_cast<uintptr_t>(n)) : nullptr;
}
ALCboolean FakeAlcMakeContextCurrent(ALCcontext* context) {
    current = DeviceNumber(context);
    generated = 0;
    return ALC_TRUE;
}
void FakeAlcDestroyContext(ALCcontext*) {}
void FakeAlcGetIntegerv(ALCdevice*, ALCenum, ALCsizei, ALCint* value) { *value = 1; }
ALboolean FakeAlIsExtensionPresent(const ALchar* name) { return std::strcmp(name, "AL_EXT_OFFSET") == 0; }
ALenum FakeAlGetError() {
    ALenum e = lastError;
    lastError = AL_NO_ERROR;
    return e;
}
void FakeAlGenSources(ALsizei, ALuint* out) {
    if (generated >= devices[current].sourcesBeforeFailure) {
        lastError = AL_INVALID_VALUE;
        return;
    }
    *out = static_cast<ALuint>(++generated);
}
void FakeAlDeleteSources(ALsizei, const ALuint*) {}

class AudioDeviceWalk : public ::testing::Test {
protected:
    void SetUp() override {
        deviceByName.clear();
        devices.clear();
        closed.clear();
        list.Destroy();
        list.table = OpenALTable{};
        list.table.alcIsExtensionPresent = FakeAlcIsExtensionPresent;
        list.table.alcGetString = FakeAlcGetString;
        list.table.alcOpenDevice = FakeAlcOpenDevice;
        list.table.alcCloseDevice = FakeAlcCloseDevice;
        list.table.alcCreateContext = FakeAlcCreateContext;
        list.table.alcMakeContextCurrent = FakeAlcMakeContextCurrent;
        list.table.alcDestroyContext = FakeAlcDestroyContext;
        list.table.alcGetIntegerv = FakeAlcGetIntegerv;
        list.table.alIsExtensionPresent = FakeAlIsExtensionPresent;
        list.table.alGetError = FakeAlGetError;
        list.table.alGenSources = FakeAlGenSources;
        list.table.alDeleteSources = FakeAlDeleteSources;
    }
    // The list's constructor walks the real library; the walk is then repeated over the fake.
    AudioDeviceList list;
};

TEST_F(AudioDeviceWalk, RecordsComeInEnumerationOrderWithoutDuplicates) {
    enumerated = "First\0Default\0Twin\0Dead\0Mute\0Missing\0";
    defaultName = "Default";
    deviceByName = {{"First", 1}, {"Default", 2}, {"Twin", 3}, {"Dead", 4}, {"Mute", 5}};
    devices[1] = {"Card A", true, 256};
    devices[2] = {"Card B", true, 0};
    devices[3] = {"Card A", true, 256};  // opens as a device already listed
    devices[4] = {"Card D", false, 256};  // opens but gives no context
    devices[5] = {"", true, 256};         // reports no name
    list.EnumerateDevices();

    ASSERT_EQ(list.GetDeviceCount(), 2);
    EXPECT_STREQ(list.GetDeviceName(0), "Card A") << "the first usable device, not the default";
    EXPECT_STREQ(list.GetDeviceName(1), "Card B");
    EXPECT_EQ(list.GetDeviceName(2), nullptr);
    EXPECT_EQ(list.GetDeviceName(-1), nullptr);
    EXPECT_EQ(list.defaultIndex, 1);
    EXPECT_EQ(list.records[0].maxSources, 256u);
    EXPECT_EQ(list.records[1].maxSources, 0u);
    EXPECT_EQ(list.records[0].extensions, (std::vector<std::string>{"ALC_EXT_EFX", "AL_EXT_OFFSET"}));
    std::sort(closed.begin(), closed.end());
    EXPECT_EQ(closed, (std::vector<int>{1, 2, 3, 4, 5})) << "every opened device is closed again";
}

TEST_F(AudioDeviceWalk, NoNamesNoRecords) {
    for (const char* names : {static_cast<const char*>(nullptr), "\0"}) {
        enumerated = names;
        defaultName = nullptr;
        list.EnumerateDevices();
        EXPECT_EQ(list.GetDeviceCount(), 0);
        EXPECT_EQ(list.defaultIndex, 0);
    }
}

}  // namespace
