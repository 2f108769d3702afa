#include "camera/camera_object.h"

#include <cstddef>
#include <cstdio>
#include <cstring>
#include <new>

#include "api/handle_list.h"
#include "camera/camera_tables.h"
#include "output/still_image_writer.h"
#include "platform/clock.h"
#include "platform/text_codec.h"
#include "settings/analog_gain_dialog.h"
#include "settings/analog_gain_page.h"
#include "settings/camera_property_dialog.h"
#include "settings/filter_property_dialog.h"
#include "settings/gray_filter_page.h"
#include "settings/image_filter_page.h"
#include "settings/preset_store.h"

namespace lumora {

namespace {

constexpr char kDeviceStem[] = "LumoraK37VQ";
constexpr int kMinNameSize = 15;

}  // namespace

CameraObject::CameraObject() {
    previewPlacement_.width = captureWindow_.hEffective;
    previewPlacement_.height = captureWindow_.vEffective;
}

CameraObject::~CameraObject() {
    // The threads end first: what is stored is what the pipeline last decided, not a value it
    // was replacing.
    Close();
    if (settingsLoaded_) {
        try {
            GainSettings gains = Gains();
            FilterSettings filters = Filters();
            // The gain key is named by the device's selected camera number.
            if (device_) AnalogGainPage(device_.get(), &gains).SaveGainSettings();
            ImageFilterPage(&filters).SaveFilterSettings();
            GrayFilterPage(&filters).SaveGraySettings();
        } catch (...) {
            // Out of memory: the groups stay as stored.
        }
    }
    heldCamera_ = -1;
    device_.reset();
    buffers_.Release();
}

int CameraObject::Initialize(platform::WindowHandle window) {
    errorWindow_ = window;
    DetectProcessor(&processor_);
    // The device counts the cameras and opens the first one; it stays even when the
    // initialisation fails further on, so that selection and register access keep working.
    device_.reset(new (std::nothrow) K37VQDevice());
    const bool buffersPresent = buffers_.Allocate();
    if (!device_ || !buffersPresent) return Fail(CAMERR_MEMORY);
    NoteHeldCamera();
    LoadSizePreset();
    // A camera that another open handle uses keeps what that handle wrote to it.
    const bool ownCamera = !CameraHeldElsewhere();
    ApplyCaptureWindow(ownCamera);
    previewPlacement_ = {0, 0, captureWindow_.hEffective, captureWindow_.vEffective};
    ImageFilterPage(&filterSettings_).LoadFilterSettings();
    GrayFilterPage(&filterSettings_).LoadGraySettings();
    AnalogGainPage(device_.get(), &gainSettings_).LoadGainSettings();
    settingsLoaded_ = true;
    if (ownCamera) WriteGainSettings();
    device_->SetWaitTime(static_cast<uint32_t>(kFrameTimeoutMs));
    LoadStreamSettings();
    return 1;
}

int CameraObject::LoadSizePreset() {
    if (PresetStore::LoadSizePreset(&captureWindow_) == PresetStore::LoadResult::Loaded) return 1;
    return Fail(CAMERR_STORAGE);
}

int CameraObject::LoadStreamSettings() {
    StreamSettings stream;
    stream.color = colorMode_;
    stream.subSample = subsamplingMode_;
    stream.waitTime = waitTimeMs_;
    stream.clock = halfClock_;
    if (!PresetStore::LoadStreamSettings(&stream)) return Fail(CAMERR_STORAGE);
    // A value that no setter takes leaves its field as it was: a colour mode without buffers or a
    // negative wait would break every later acquisition.
    if (IsColorMode(stream.color)) colorMode_ = stream.color;
    if (IsSubsamplingMode(stream.subSample)) subsamplingMode_ = stream.subSample;
    if (stream.waitTime >= 0) waitTimeMs_ = stream.waitTime;
    if (stream.clock >= 0 && stream.clock <= 9) halfClock_ = stream.clock;
    return 1;
}

void CameraObject::ApplyCaptureWindow(bool send) {
    if (!captureWindow_.IsValid(subsamplingMode_)) {
        RecordError(CAMERR_CAPTURE_WINDOW);
        const int presetBuf = captureWindow_.presetBuf;
        captureWindow_ = CaptureWindow{};
        captureWindow_.presetBuf = presetBuf;
    }
    if (send && device_) {
        device_->SetCaptureWindow(captureWindow_.hStart, captureWindow_.vStart,
                                 captureWindow_.hEffective, captureWindow_.vEffective,
                                 subsamplingMode_);
    }
}

bool CameraObject::CameraHeldElsewhere() const {
    const int held = heldCamera_.load();
    if (held < 0) return false;
    return ProcessHandleList().AnyObject([&](const CameraObject& other) {
        return &other != this && other.heldCamera_.load() == held;
    });
}

bool CameraObject::CameraAcquiredElsewhere() const {
    // Only the other objects' atomics are read: their devices belong to their own threads.
    const int held = heldCamera_.load();
    if (held < 0) return false;
    return ProcessHandleList().AnyObject([&](const CameraObject& other) {
        return &other != this && other.heldCamera_.load() == held &&
               other.acquisition_.State() != AcquisitionState::Idle;
    });
}

void CameraObject::NoteHeldCamera() {
    heldCamera_ = device_ && device_->IsOpen() ? device_->GetSelectedDevice() : -1;
}

FilterSettings CameraObject::Filters() {
    return WithSettings([](const FilterSettings& f, const GainSettings&) { return f; });
}

GainSettings CameraObject::Gains() {
    return WithSettings([](const FilterSettings&, const GainSettings& g) { return g; });
}

void CameraObject::StoreMeasuredWhiteBalance(const FilterSettings& measured) {
    WithSettings([&](FilterSettings& f, GainSettings&) {
        f.whiteBalanceRed = measured.whiteBalanceRed;
        f.whiteBalanceGreen = measured.whiteBalanceGreen;
        f.whiteBalanceBlue = measured.whiteBalanceBlue;
        // A one-shot balance that has run switches itself off.
        if (measured.autoWhiteBalance == 0) {
            f.autoWhiteBalance = 0;
            f.autoWhiteBalanceOnce[0] = f.autoWhiteBalanceOnce[1] = 0;
        }
    });
    if (FilterDialogHook* dialog = filterDialog_.load()) dialog->RefreshControls();
}

void CameraObject::StoreGrayCalibration(const FilterSettings& measured) {
    WithSettings([&](FilterSettings& f, GainSettings&) {
        f.grayGainR = measured.grayGainR;
        f.grayGainG1 = measured.grayGainG1;
        f.grayGainG2 = measured.grayGainG2;
        f.grayGainB = measured.grayGainB;
        if (f.grayAutoGainCount > 0) f.grayAutoGainCount -= 1;
    });
    if (FilterDialogHook* dialog = filterDialog_.load()) dialog->RefreshControls();
}

void CameraObject::WriteGainSettings() { WriteGainSettings(Gains()); }

void CameraObject::WriteGainSettings(const GainSettings& g) {
    if (!device_) return;
    device_->SetGlobalGain(g.globalGain);
    device_->SetColorGain(K37VQDevice::REG_GAIN_GREEN1, g.gainGreen1);
    device_->SetColorGain(K37VQDevice::REG_GAIN_RED, g.gainRed);
    device_->SetColorGain(K37VQDevice::REG_GAIN_BLUE, g.gainBlue);
    device_->SetColorGain(K37VQDevice::REG_GAIN_GREEN2, g.gainGreen2);
    device_->SetExposureLines(g.exposure);
    device_->SetMirrorV(g.mirrorV);
    device_->SetMirrorH(g.mirrorH);
}

void CameraObject::ProgramClock(int setting) {
    if (!device_) return;
    // Divider of register 0x0304 and clock period in microseconds by clock setting; the
    // periods of 54.8 and 76.8 MHz are those of their single-precision values.
    struct Clock {
        uint16_t divider;
        double periodUs;
    };
    static const Clock kClocks[6] = {
        {7, 1.0 / static_cast<double>(54.8f)}, {6, 1.0 / 64}, {5, 1.0 / static_cast<double>(76.8f)},
        {4, 1.0 / 96}, {3, 1.0 / 128}, {2, 1.0 / 192},
    };
    const Clock& clock = kClocks[setting >= 0 && setting < 6 ? setting : 0];
    device_->WriteRegister16(0x0300, 4);
    device_->WriteRegister16(0x0302, 1);
    device_->WriteRegister16(K37VQDevice::REG_CLOCK_DIVIDER, clock.divider);
    lineTiming_.clockPeriodUs = clock.periodUs;
    uint16_t value = 0;
    device_->ReadRegister16(0x3016, &value);
    device_->WriteRegister16(0x3016, static_cast<uint16_t>(value | 0x0101));
}

int CameraObject::ProgramSensor(bool wide) {
    K37VQDevice& device = *device_;
    ProgramClock(halfClock_);
    if (!SendCaptureWindow()) return 0;
    device.SetWordTransfer(wide ? 1 : 0);

    const GainSettings g = Gains();
    device.SetMirrorV(g.mirrorV);
    platform::SleepMs(5);
    device.SetMirrorH(g.mirrorH);
    platform::SleepMs(5);
    device.SetGlobalGain(g.globalGain);
    device.SetColorGain(K37VQDevice::REG_GAIN_GREEN1, g.gainGreen1);
    device.SetColorGain(K37VQDevice::REG_GAIN_RED, g.gainRed);
    device.SetColorGain(K37VQDevice::REG_GAIN_BLUE, g.gainBlue);
    device.SetColorGain(K37VQDevice::REG_GAIN_GREEN2, g.gainGreen2);
    device.SetExposureLines(g.exposure);

    // The exposure time with the line values of the previous preparation, then the new ones.
    GetRealExposureTime(nullptr);
    device.ReadRegister16(K37VQDevice::REG_LINE_LENGTH, &lineTiming_.lineLengthClocks);
    platform::SleepMs(3);
    device.ReadRegister16(K37VQDevice::REG_FRAME_LENGTH, &lineTiming_.lineOffsetClocks);
    platform::SleepMs(3);
    return 1;
}

int CameraObject::RecordError(int code) {
    // Only failures are recorded and posted: a 0 would push the reason of a failed call down
    // the history and tell the error window of errors that are none.
    if (code == CAMERR_NONE) return 1;
    errorHistory_.Record(code);
    platform::PostWindowMessage(errorWindow_, CAMMSG_ERROR, 0, code);
    return 1;
}

// ---- Device selection and information ----


int CameraObject::SetDeviceNumber(int index) {
    if (!device_) return NoDevice();
    // Selecting closes the open camera: no acquisition may still read from it.
    if (acquisition_.State() != AcquisitionState::Idle) acquisition_.StopPreview();
    const bool selected = device_->IsValidDevice(index) && device_->SelectDevice(index) == 0;
    NoteHeldCamera();
    if (!selected) return Fail(CAMERR_DEVICE_NUMBER);
    // The newly opened camera holds whatever it was last given: give it this handle's values,
    // so that the getters read what the handle holds.
    if (!CameraHeldElsewhere()) WriteGainSettings();
    return 1;
}

namespace {

// The name of camera number (1-based): the device stem and two digits.
void FormatName(int number, char* out, size_t size) {
    std::snprintf(out, size, "%s_%02d", kDeviceStem, number);
}

// The name in a 256-character slot, narrow or UTF-16.
void StoreName(int number, char* slot) { FormatName(number, slot, CameraObject::kNameSlotSize); }

void StoreName(int number, char16_t* slot) {
    char narrow[CameraObject::kNameSlotSize];
    StoreName(number, narrow);
    platform::NarrowToWide(narrow, slot, CameraObject::kNameSlotSize);
}

// Names the present cameras in order of discovery, never past the caller's ten slots, and
// empties the slots left over. Returns the number of names written.
template <typename Char>
int ListNames(CameraDevice& device, Char names[CameraObject::kMaxEnumSlots][CameraObject::kNameSlotSize]) {
    int written = 0;
    const int count = device.GetDeviceCount();
    for (int index = 0; index < count && written < CameraObject::kMaxEnumSlots; ++index) {
        if (!device.IsValidDevice(index)) continue;
        StoreName(written + 1, names[written]);
        ++written;
    }
    for (int slot = written; slot < CameraObject::kMaxEnumSlots; ++slot) names[slot][0] = 0;
    return written;
}

}  // namespace

int CameraObject::EnumDevice(char names[kMaxEnumSlots][kNameSlotSize]) {
    if (!device_) return NoDevice();
    if (names == nullptr) return Fail(CAMERR_ARGUMENT);
    return ListNames(*device_, names);
}

int CameraObject::EnumDeviceW(char16_t names[kMaxEnumSlots][kNameSlotSize]) {
    if (!device_) return NoDevice();
    if (names == nullptr) return Fail(CAMERR_ARGUMENT);
    return ListNames(*device_, names);
}

int CameraObject::GetDeviceName(int index, char* name, int size) {
    if (!device_) return NoDevice();
    if (name == nullptr || size < kMinNameSize) return Fail(CAMERR_ARGUMENT);
    if (index < 0 || index >= device_->GetDeviceCount()) return Fail(CAMERR_ARGUMENT);
    FormatName(index + 1, name, static_cast<size_t>(size));
    return 1;
}

int CameraObject::GetDeviceNameW(int index, char16_t* name, int size) {
    if (!device_) return NoDevice();
    if (name == nullptr || size < kMinNameSize) return Fail(CAMERR_ARGUMENT);
    char narrow[kNameSlotSize];
    if (!GetDeviceName(index, narrow, sizeof narrow)) return 0;
    if (!platform::NarrowToWide(narrow, name, static_cast<size_t>(size))) return Fail(CAMERR_ARGUMENT);
    return 1;
}

int CameraObject::GetCameraInfo(CameraInfo* info) {
    if (!device_) return NoDevice();
    if (info == nullptr) return Fail(CAMERR_ARGUMENT);
    if (info->size < static_cast<int>(sizeof(CameraInfo))) return Fail(CAMERR_MEMORY);
    info->width = CaptureWindow::kSensorWidth;
    info->height = CaptureWindow::kSensorHeight;
    info->globalGainMin = kFilterIndexes[13].min;
    info->globalGainMax = kFilterIndexes[13].max;
    info->colorGainMin = kFilterIndexes[14].min;
    info->colorGainMax = kFilterIndexes[14].max;
    // The sensor model writes an exposure of 0 lines as 1.
    info->exposureMin = 1;
    info->exposureMax = kExposureRange.max;
    return 1;
}

// ---- Stored stream settings ----

int CameraObject::SetColorMode(int bits) {
    for (int mode = 0; mode < kColorModeCount; ++mode) {
        if (kColorModes[mode].bits == bits) {
            colorMode_ = mode;
            return 1;
        }
    }
    return Fail(CAMERR_ARGUMENT);
}

int CameraObject::GetColorMode() const {
    const int mode = colorMode_;
    return IsColorMode(mode) ? kColorModes[mode].reportedBits : -1;
}

int CameraObject::SetSubSample(int mode) {
    if (!IsSubsamplingMode(mode)) return Fail(CAMERR_ARGUMENT);
    subsamplingMode_ = mode;
    return 1;
}

int CameraObject::SetWaitTime(int ms) {
    if (ms < 0) return Fail(CAMERR_ARGUMENT);
    waitTimeMs_ = ms;
    return 1;
}

int CameraObject::SetHalfClock(int clock) {
    if (clock < 0 || clock > 9) return Fail(CAMERR_ARGUMENT);
    halfClock_ = clock;
    return 1;
}

int CameraObject::SetAutoIris(int mode) {
    if (mode < 0 || mode > 2) return Fail(CAMERR_ARGUMENT);
    WithSettings([&](FilterSettings&, GainSettings& g) { g.autoIris = mode; });
    return 1;
}

int CameraObject::GetAutoIris(int* ok) {
    if (ok) *ok = 1;
    return Gains().autoIris;
}

// ---- Geometry ----

int CameraObject::SelectSizePreset(int width, int height) {
    if (!device_) return NoDevice();
    CaptureWindow preset;
    if (!PresetStore::FindPreset(width, height, &preset)) return Fail(CAMERR_WINDOW);
    const CaptureWindow previous = captureWindow_;
    captureWindow_ = preset;
    ApplyCaptureWindow(false);  // an invalid preset becomes the full sensor, and counts as taken
    // A preset the sensor cannot read out fails as SetCaptureWindowEx does: the previous window
    // stays in force.
    return SendCaptureWindow(&previous);
}

int CameraObject::SetCaptureWindowEx(int hTotal, int hStart, int hEffective, int vTotal,
                                     int vStart, int vEffective) {
    if (!device_) return NoDevice();
    // A refused window leaves the one in force as it was: its size, the sensor and the values.
    CaptureWindow wanted = captureWindow_;
    wanted.hTotal = hTotal;
    wanted.hStart = hStart;
    wanted.hEffective = hEffective;
    wanted.vTotal = vTotal;
    wanted.vStart = vStart;
    wanted.vEffective = vEffective;
    if (!wanted.IsValid(subsamplingMode_)) return Fail(CAMERR_CAPTURE_WINDOW);
    const CaptureWindow previous = captureWindow_;
    captureWindow_ = wanted;
    // A window the camera did not take for a failed transfer stays stored: the next
    // acquisition sends it again.
    return SendCaptureWindow(&previous);
}

int CameraObject::SendCaptureWindow(const CaptureWindow* previous) {
    const CaptureWindow& w = captureWindow_;
    const int sent = device_->SetCaptureWindow(w.hStart, w.vStart, w.hEffective, w.vEffective,
                                              subsamplingMode_);
    if (sent == K37VQDevice::kTransferFailed || sent == K37VQDevice::kBusy) {
        return Fail(CAMERR_REGISTER);
    }
    // A window the sensor cannot read out (narrower than it allows) fails like an invalid one;
    // the sensor keeps the window it had, and so does the object when given it.
    if (sent != 0) {
        if (previous != nullptr) captureWindow_ = *previous;
        return Fail(CAMERR_CAPTURE_WINDOW);
    }
    return 1;
}

int CameraObject::GetCaptureWindowEx(int* hTotal, int* hStart, int* hEffective, int* vTotal,
                                     int* vStart, int* vEffective) const {
    if (hTotal) *hTotal = captureWindow_.hTotal;
    if (hStart) *hStart = captureWindow_.hStart;
    if (hEffective) *hEffective = captureWindow_.hEffective;
    if (vTotal) *vTotal = captureWindow_.vTotal;
    if (vStart) *vStart = captureWindow_.vStart;
    if (vEffective) *vEffective = captureWindow_.vEffective;
    return 1;
}

// ---- Mirroring and exposure ----

int CameraObject::SetMirrorV(int on) { return SetMirror(on, &GainSettings::mirrorV, 1, &K37VQDevice::SetMirrorV); }

int CameraObject::SetMirrorH(int on) { return SetMirror(on, &GainSettings::mirrorH, 2, &K37VQDevice::SetMirrorH); }

// The phase moves only when the setting changes, before the device is asked, and stays moved
// when the device fails. The device is written even when the setting is unchanged: the selected
// camera may not hold it (another camera was selected since).
int CameraObject::SetMirror(int on, int GainSettings::*stored, int phaseBit, int (K37VQDevice::*deviceSet)(int)) {
    if (!device_) return NoDevice();
    on = on != 0;
    const int written = WithSettings([&](FilterSettings& f, GainSettings& g) {
        if (on != g.*stored) f.bayerPhase ^= phaseBit;
        g.*stored = on;
        return ((*device_).*deviceSet)(on);
    });
    return written == 0 ? 1 : Fail(CAMERR_REGISTER);
}

int CameraObject::GetMirrorV() {
    if (!device_) return NoDevice();
    return device_->GetMirrorV();
}

int CameraObject::GetMirrorH() {
    if (!device_) return NoDevice();
    return device_->GetMirrorH();
}

int CameraObject::GetFrameDetails(LumoraExFrameDetails* details) {
    if (details == nullptr || details->size < static_cast<int>(sizeof(LumoraExFrameDetails))) {
        return Fail(CAMERR_ARGUMENT);
    }
    FrameDetails d;
    if (!acquisition_.LastFrameDetails(&d)) return 0;
    LumoraExFrameDetails out{};
    out.size = static_cast<int>(sizeof(out));
    out.number = d.number;
    out.skippedBefore = d.skippedBefore;
    out.exposureLines = d.sensor.exposureLines;
    out.exposureMicroseconds = d.sensor.ExposureMicroseconds();
    out.globalGain = d.sensor.globalGain;
    out.gainRed = d.sensor.gainRed;
    out.gainGreen1 = d.sensor.gainGreen1;
    out.gainGreen2 = d.sensor.gainGreen2;
    out.gainBlue = d.sensor.gainBlue;
    out.timestamp = d.timestampUs;
    *details = out;
    return 1;
}

void CameraObject::RewriteSensorSettings() {
    if (!device_) return;
    WithSettings([&](FilterSettings&, GainSettings& g) {
        int x = 0, y = 0, w = 0, h = 0, mode = 0;
        device_->GetCaptureWindow(&x, &y, &w, &h, &mode);
        device_->SetCaptureWindow(x, y, w, h, mode);
        WriteGainSettings(g);
        return 0;
    });
}

int CameraObject::SetReconnect(int enable) {
    if (enable != 0 && enable != 1) return Fail(CAMERR_ARGUMENT);
    acquisition_.reconnection.Enable(enable == 1);
    return 1;
}

int CameraObject::GetStreamStatistics(LumoraExStreamStatistics* statistics) {
    // The record grew at its end: a caller's older, shorter record gets the members it has.
    constexpr int kFirstSize = static_cast<int>(offsetof(LumoraExStreamStatistics, reconnects));
    if (statistics == nullptr || statistics->size < kFirstSize) return Fail(CAMERR_ARGUMENT);
    const int filled = statistics->size < static_cast<int>(sizeof(LumoraExStreamStatistics))
                           ? kFirstSize
                           : static_cast<int>(sizeof(LumoraExStreamStatistics));
    const StreamStatistics s = acquisition_.Statistics();
    LumoraExStreamStatistics out{};
    out.size = static_cast<int>(sizeof(out));
    out.completed = s.completed;
    out.delivered = s.delivered;
    out.skipped = s.Skipped();
    out.failed = s.failed;
    out.stalls = s.stalls;
    out.skippedConsumerBusy = s.skippedConsumerBusy;
    out.skippedWrongSize = s.skippedWrongSize;
    out.skippedStreamEnd = s.skippedStreamEnd;
    out.reconnects = s.reconnects;
    out.size = filled;
    std::memcpy(statistics, &out, static_cast<size_t>(filled));
    return 1;
}

int CameraObject::GetRealExposureTime(int* ok) {
    double us = (static_cast<double>(lineTiming_.lineLengthClocks) * Gains().exposure +
                 lineTiming_.lineOffsetClocks) *
                lineTiming_.clockPeriodUs;
    lastExposureTimeUs_ = static_cast<int>(us);
    if (ok) *ok = 1;
    return lastExposureTimeUs_;
}

// ---- Registers, serial ROM and I/O port ----

int CameraObject::WriteRegister(int address, int value) {
    if (address < 0 || address > 0xFFFF || value < 0 || value > 0xFFFF) return Fail(CAMERR_ARGUMENT);
    if (!device_) return NoDevice();
    if (!device_->WriteSensorRegister(static_cast<uint16_t>(address), static_cast<uint16_t>(value))) {
        return Fail(CAMERR_REGISTER);
    }
    return 1;
}

int CameraObject::ReadRegister(int address, int* ok) {
    if (ok) *ok = 0;
    if (address < 0 || address > 0xFFFF) return Fail(CAMERR_ARGUMENT);
    if (!device_) return NoDevice();
    uint16_t value = 0;
    if (!device_->ReadSensorRegister(static_cast<uint16_t>(address), &value)) return Fail(CAMERR_REGISTER);
    if (ok) *ok = 1;
    return value;
}

int CameraObject::ReadSromID(int address, int* ok) {
    if (ok) *ok = 0;
    if (!device_) return NoDevice();
    uint8_t value = 0;
    if (!device_->ReadSromId(address, &value)) return NoDevice();
    if (ok) *ok = 1;
    return value;
}

int CameraObject::WriteSromID(int address, int value) {
    if (!device_ || !device_->WriteSromId(address, value)) return NoDevice();
    return 1;
}

// The port byte: bit 6 is the output line, bits 3 and 4 the two input lines. This model's
// device supplies no byte on a read; the byte then counts as 0.
int CameraObject::SetIOPort(int value) {
    if (!device_) return NoDevice();
    int port = 0;
    device_->GetIOPort(&port);
    port = (port & ~0x40) | ((value & 4) ? 0x40 : 0);
    return device_->SetIOPort(port);
}

int CameraObject::GetIOPort(unsigned char* value) {
    if (!device_) return NoDevice();
    if (value == nullptr) return Fail(CAMERR_ARGUMENT);
    int port = 0;
    device_->GetIOPort(&port);
    *value = static_cast<unsigned char>((port >> 3) & 3);
    return 1;
}

// ---- Filter values ----

namespace {

// The record field behind an index that has one; null: the index is handled by its own case.
int FilterSettings::*const kFilterFields[kFilterIndexCount + 1] = {
    nullptr,
    &FilterSettings::brightness,
    &FilterSettings::contrast,
    &FilterSettings::hue,
    &FilterSettings::saturation,
    &FilterSettings::sharpness,
    nullptr,  // 6: red, green and blue white-balance gains packed
    &FilterSettings::whiteBalanceRed,
    &FilterSettings::whiteBalanceGreen,
    &FilterSettings::whiteBalanceBlue,
    nullptr,  // 10: automatic white balance
    &FilterSettings::gamma,
    &FilterSettings::bayerPhase,
    nullptr, nullptr, nullptr, nullptr, nullptr,  // 13..17: gains
    nullptr,  // 18: exposure in lines
    &FilterSettings::grayMode,
    &FilterSettings::grayGainR,
    &FilterSettings::grayGainG1,
    &FilterSettings::grayGainG2,
    &FilterSettings::grayGainB,
    &FilterSettings::grayOffsetR,
    &FilterSettings::grayOffsetG1,
    &FilterSettings::grayOffsetG2,
    &FilterSettings::grayOffsetB,
};

// Indexes 14..17: the colour gains and their sensor registers.
struct ColourGain {
    int GainSettings::*field;
    uint16_t reg;
};
const ColourGain kColourGains[4] = {
    {&GainSettings::gainRed, K37VQDevice::REG_GAIN_RED},
    {&GainSettings::gainGreen1, K37VQDevice::REG_GAIN_GREEN1},
    {&GainSettings::gainGreen2, K37VQDevice::REG_GAIN_GREEN2},
    {&GainSettings::gainBlue, K37VQDevice::REG_GAIN_BLUE},
};

}  // namespace

int CameraObject::SetFilterValue(int index, int value) {
    if (!device_) return NoDevice();
    if (index < 1 || index > kFilterIndexCount) return Fail(CAMERR_ARGUMENT);
    // The record and the device change together, under the settings lock.
    return WithSettings([&](FilterSettings& f, GainSettings& g) { return StoreFilterValue(index, value, f, g); });
}

int CameraObject::StoreFilterValue(int index, int value, FilterSettings& f, GainSettings& g) {
    if (index == 6) {
        f.whiteBalanceRed = value & 0xFF;
        f.whiteBalanceGreen = (value >> 8) & 0xFF;
        f.whiteBalanceBlue = (value >> 16) & 0xFF;
        return 1;
    }
    if (index == 10) {
        f.autoWhiteBalance = value != 0;
        return 1;
    }
    const FilterIndexInfo& range = kFilterIndexes[index];
    if (value < range.min || value > range.max) return Fail(CAMERR_ARGUMENT);
    if (kFilterFields[index] != nullptr) {
        f.*(kFilterFields[index]) = value;
        return 1;
    }
    switch (index) {
        case 13:
            g.globalGain = g.gainGreen1 = g.gainRed = g.gainBlue = g.gainGreen2 = value;
            return device_->SetGlobalGain(value) ? 1 : Fail(CAMERR_REGISTER);
        case 14:
        case 15:
        case 16:
        case 17: {
            const ColourGain& gain = kColourGains[index - 14];
            g.*(gain.field) = value;
            return device_->SetColorGain(gain.reg, value) ? 1 : Fail(CAMERR_REGISTER);
        }
        case 18:
            g.exposure = value;
            return device_->SetExposureLines(value) ? 1 : Fail(CAMERR_REGISTER);
        default: return Fail(CAMERR_ARGUMENT);
    }
}

int CameraObject::ReadSensorSetting(int index, int* value) {
    if (index == 13) {
        int read = 0;
        *value = device_->GetGlobalGain(&read);
        return read;
    }
    if (index == 18) return device_->GetExposureLines(value);
    uint16_t gain = 0;
    int read = device_->GetColorGain(kColourGains[index - 14].reg, &gain);
    *value = gain;
    return read;
}

int CameraObject::GetFilterValue(int index, int* ok) {
    if (ok) *ok = 0;
    if (!device_) return NoDevice();
    if (index < 1 || index > kFilterIndexCount) return Fail(CAMERR_ARGUMENT);
    int sensorValue = 0;
    if (index >= 13 && index <= 18 && !ReadSensorSetting(index, &sensorValue)) {
        return Fail(CAMERR_REGISTER);
    }
    if (ok) *ok = 1;
    const FilterSettings f = Filters();
    switch (index) {
        case 6:
            return (f.whiteBalanceBlue & 0xFF) << 16 | (f.whiteBalanceGreen & 0xFF) << 8 |
                   (f.whiteBalanceRed & 0xFF);
        case 10: return f.autoWhiteBalance;
        case 13:
        case 14:
        case 15:
        case 16:
        case 17:
        case 18: return sensorValue;
        default: return f.*(kFilterFields[index]);
    }
}

// ---- Acquisition, preview window, still images and dialogs ----

int CameraObject::FrameColorMode() const {
    const int prepared = acquisition_.PreparedColorMode();
    return prepared >= 0 ? prepared : colorMode_.load();
}

ImageBuffer* CameraObject::RawBuffer() const {
    return buffers_.Raw(FrameColorMode());
}

ImageBuffer* CameraObject::OutputBuffer() const { return buffers_.Output(FrameColorMode()); }

int CameraObject::SaveImage(const char* fileName, int format) {
    if (fileName == nullptr || fileName[0] == '\0' || format < LUMORA_IMAGE_BMP || format > LUMORA_IMAGE_TIFF) {
        return Fail(CAMERR_ARGUMENT);
    }
    if (!device_) return NoDevice();
    return acquisition_.WithLatestFrame([&](const ImageBuffer* frame) {
        if (frame == nullptr || !frame->IsUsable()) return NoDevice();
        // A file that cannot be written (missing folder, full disk) is no success without a
        // reason: it is a storage failure.
        if (WriteStillImage(fileName, frame, static_cast<unsigned>(format)) == 0) return Fail(CAMERR_STORAGE);
        return 1;
    });
}

int CameraObject::SetPreviewWindow(platform::WindowHandle parent, int x, int y, int width,
                                   int height) {
    if (!device_) return NoDevice();
    previewParent_ = parent;
    previewPlacement_ = {x, y, width, height};
    return 1;
}

int CameraObject::CameraDialog(platform::WindowHandle owner) {
    if (!device_) return NoDevice();
    if (!DialogsAvailable()) return Fail(CAMERR_UNSUPPORTED);
    CameraPropertyDialog dialog;
    // A recording keeps running (the dialog touches only the stored settings); a preview or
    // capture stops for the dialog and starts again after it.
    const AcquisitionState before = acquisition_.State();
    const bool stop = before != AcquisitionState::Idle && !acquisition_.Recorder().Active();
    if (stop) acquisition_.StopPreview();
    const int result = dialog.Show(owner);
    if (result == 1) {
        LoadSizePreset();
        LoadStreamSettings();
    }
    if (stop && before == AcquisitionState::Previewing) acquisition_.StartPreview();
    if (stop && before == AcquisitionState::Capturing) acquisition_.Capture();
    return 1;
}

int CameraObject::FilterDialog(platform::WindowHandle owner) {
    if (!device_) return NoDevice();
    if (!DialogsAvailable()) return Fail(CAMERR_UNSUPPORTED);
    const FilterSettings saved = Filters();
    FilterPropertyDialog dialog(&filterSettings_, FilterEnableFlags::ForColorMode(colorMode_), &filterNotifier_,
                                &settingsMutex_);
    filterDialog_ = &filterNotifier_;
    const int result = dialog.Show(owner);
    if (result != 1) WithSettings([&](FilterSettings& f, GainSettings&) { f = saved; });
    filterDialog_ = nullptr;
    return 1;
}

int CameraObject::AnalogGainDialog(platform::WindowHandle owner) {
    if (!device_) return NoDevice();
    if (!DialogsAvailable()) return Fail(CAMERR_UNSUPPORTED);
    // The sensor's values are read inside one pause, then stored: the settings lock is never
    // taken while the pause is held.
    int values[6];
    bool read[6];
    int paused = device_->PauseStream();
    for (int index = 13; index <= 18; ++index) {
        read[index - 13] = ReadSensorSetting(index, &values[index - 13]) != 0;
    }
    device_->ResumeStream(paused);
    int savedPhase = 0;
    const GainSettings saved = WithSettings([&](FilterSettings& f, GainSettings& g) {
        savedPhase = f.bayerPhase;
        for (int index = 13; index <= 18; ++index) {
            // A value the camera does not give back stays as the record holds it.
            if (!read[index - 13]) continue;
            int GainSettings::*field = index == 13   ? &GainSettings::globalGain
                                       : index == 18 ? &GainSettings::exposure
                                                     : kColourGains[index - 14].field;
            g.*field = values[index - 13];
        }
        return g;
    });
    lumora::AnalogGainDialog dialog(device_.get(), &gainSettings_, &filterSettings_.bayerPhase, &lineTiming_,
                                    &gainNotifier_, &settingsMutex_);
    analogGainDialog_ = &gainNotifier_;
    const int result = dialog.Show(owner);
    if (result != 1) {
        WithSettings([&](FilterSettings& f, GainSettings& g) {
            g = saved;
            f.bayerPhase = savedPhase;
        });
        paused = device_->PauseStream();
        WriteGainSettings(saved);
        device_->ResumeStream(paused);
    }
    analogGainDialog_ = nullptr;
    return 1;
}

}  // namespace lumora
