#pragma once
// What an acquisition needs of its camera: the device, the buffers, the stored stream
// settings, the sensor programmed for a stream, the pipeline, the preview window and the
// recorder, and the camera's error history. The camera object implements it; the acquisition
// and its worker threads see their camera through it alone.
//
// Thread context: Device, Buffers, RawBuffer, OutputBuffer, Pipeline, FrameWindow, GetWaitTime
// and RecordError (of RecordingThread::Host) are used by the worker threads too; the rest by the application's thread.
#include "camera/capture_window.h"
#include "camera/preview_window.h"
#include "camera/recording_thread.h"
#include "platform/window_message.h"

namespace lumora {

class AviWriter;
class FramePipeline;
class ImageBuffer;
class K37VQDevice;
struct FrameBuffers;

class AcquisitionHost : public RecordingThread::Host {
public:
    // Null when the camera object has no device.
    virtual K37VQDevice* Device() = 0;
    virtual FrameBuffers& Buffers() = 0;
    // The raw and the output buffer of the colour mode the buffers hold.
    virtual ImageBuffer* RawBuffer() const = 0;
    virtual ImageBuffer* OutputBuffer() const = 0;

    // The stored stream settings as they are now.
    virtual CaptureWindow StoredCaptureWindow() const = 0;
    virtual int GetSubSample() const = 0;
    virtual int ColorMode() const = 0;  // 0..5
    virtual int GetWaitTime() const = 0;
    // Programs the sensor for a stream in the stored settings: clock, capture window (0 when
    // the sensor refuses it, the reason recorded), transfer width (wide: two bytes per pixel),
    // mirrors, gains and exposure, and the line timing read back. 1 done.
    virtual int ProgramSensor(bool wide) = 0;
    // True when another camera object of the process is acquiring from the camera this one
    // has selected.
    virtual bool CameraAcquiredElsewhere() const = 0;

    virtual FramePipeline& Pipeline() = 0;
    virtual PreviewWindow& FrameWindow() = 0;
    // Where the application asked the preview window to go.
    virtual platform::WindowHandle PreviewParent() const = 0;
    virtual PreviewPlacement Placement() const = 0;
    virtual AviWriter& Recorder() = 0;

protected:
    ~AcquisitionHost() = default;
};

}  // namespace lumora
