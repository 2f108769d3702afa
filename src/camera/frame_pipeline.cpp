#include "camera/frame_pipeline.h"

#include "camera/camera_object.h"

namespace lumora {

void FramePipeline::Run() {}

int FramePipeline::AutoExposure(ImageBuffer* /*raw*/) { return 0; }

int FramePipeline::WhiteBalanceAndDemosaic(ImageBuffer& /*colour*/, ImageBuffer& /*raw*/) { return 1; }

double FramePipeline::ExposureFactor(const int /*means*/[5]) { return 1.0; }

void FramePipeline::RunFilters(ImageBuffer& /*output*/) {}

}  // namespace lumora
