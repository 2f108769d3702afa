#include <benchmark/benchmark.h>

#include <vector>

#include "device/device_lock.h"
#include "device/disk_layer.h"
#include "device/k37vq_device.h"
#include "emulator/emulated_sensor.h"

namespace {

using lumora::EmulatedSensor;

// One full 3488 x 2616 frame of the emulated sensor, in a readout mode.
void BM_EmulatedSensorFrame(benchmark::State& state) {
    std::vector<uint8_t> registers(EmulatedSensor::kRegisterCount);
    EmulatedSensor::ResetRegisters(registers.data());
    static const uint16_t kReadMode[] = {0x0041, 0x00C3, 0x0DC7};
    static const int kDivisor[] = {1, 2, 4};
    int i = static_cast<int>(state.range(0));
    EmulatedSensor::Write16(registers.data(), 0x3040, kReadMode[i]);
    EmulatedSensor::Write16(registers.data(), 0x034C, static_cast<uint16_t>(3488 / kDivisor[i]));
    EmulatedSensor::Write16(registers.data(), 0x034E, static_cast<uint16_t>(2616 / kDivisor[i]));
    std::vector<uint8_t> frame(EmulatedSensor::FrameBytes(registers.data()));
    EmulatedSensor sensor(1);
    uint32_t n = 0;
    for (auto _ : state) {
        sensor.Render(registers.data(), ++n, false, frame.data(), 0, static_cast<uint32_t>(frame.size()));
        benchmark::DoNotOptimize(frame.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(frame.size()));
}
BENCHMARK(BM_EmulatedSensorFrame)->Arg(0)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond);

// One 16-bit register write and read back through the sector protocol.
void BM_RegisterRoundTrip(benchmark::State& state) {
    lumora::DiskLayer::PlaceTestCameras(1);
    lumora::K37VQDevice device;
    uint16_t value = 0;
    for (auto _ : state) {
        device.WriteRegister16(0x0202, 1234);
        device.ReadRegister16(0x0202, &value);
        benchmark::DoNotOptimize(value);
    }
    lumora::DiskLayer::ClearTestDrives();
}
BENCHMARK(BM_RegisterRoundTrip);

// One turn of the device lock, uncontended: what each transfer on the disk handle adds.
void BM_DeviceLockTurn(benchmark::State& state) {
    lumora::DeviceLock lock;
    for (auto _ : state) {
        lock.Acquire();
        lock.Release();
    }
}
BENCHMARK(BM_DeviceLockTurn);

}  // namespace
