// Saving a full 3488 x 2616 24-bit frame: each writer next to the plain reference it is held to
// (one fwrite of the same bytes for BMP, raw and TIFF; the encoder library driven directly, with
// the same settings, for JPEG and PNG).
#include <benchmark/benchmark.h>
#include <jpeglib.h>
#include <png.h>

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "imaging/image_buffer.h"
#include "output/still_image_writer.h"

namespace {

using lumora::ImageBuffer;

constexpr int kWidth = 3488, kHeight = 2616;

// A camera-like picture: smooth colour gradients with a little noise, so that the encoders work
// as hard as on a real frame.
const ImageBuffer& Frame() {
    static ImageBuffer frame;
    if (!frame.IsUsable()) {
        frame.Create(kWidth, kHeight, 24);
        std::mt19937 rng(1);
        for (int y = 0; y < kHeight; ++y) {
            uint8_t* p = frame.Row(y);
            for (int x = 0; x < kWidth; ++x, p += 3) {
                const int noise = int(rng() % 9) - 4;
                p[0] = uint8_t(std::clamp(x * 255 / kWidth + noise, 0, 255));
                p[1] = uint8_t(std::clamp(y * 255 / kHeight + noise, 0, 255));
                p[2] = uint8_t(std::clamp((x + y) * 255 / (kWidth + kHeight) + noise, 0, 255));
            }
        }
    }
    return frame;
}

std::string OutPath(const char* name) {
    return std::string("/tmp/lumora-bench-") + std::to_string(::getpid()) + "-" + name;
}

void SetBytes(benchmark::State& state, const ImageBuffer& f) {
    state.SetBytesProcessed(int64_t(state.iterations()) * f.Stride() * f.Height());
}

void BM_Fwrite_Frame24(benchmark::State& state) {
    const ImageBuffer& f = Frame();
    const std::string path = OutPath("fwrite.raw");
    for (auto _ : state) {
        std::FILE* file = std::fopen(path.c_str(), "wb");
        std::fwrite(f.Bits(), 1, size_t(f.Stride()) * f.Height(), file);
        std::fclose(file);
    }
    SetBytes(state, f);
    std::remove(path.c_str());
}
BENCHMARK(BM_Fwrite_Frame24)->Unit(benchmark::kMillisecond);

void SaveAs(benchmark::State& state, unsigned format, const char* name) {
    const ImageBuffer& f = Frame();
    const std::string path = OutPath(name);
    for (auto _ : state) {
        if (lumora::WriteStillImage(path.c_str(), &f, format) != 1) state.SkipWithError("save failed");
    }
    SetBytes(state, f);
    std::remove(path.c_str());
}

void BM_SaveBmp24(benchmark::State& state) { SaveAs(state, lumora::kStillBmp, "save.bmp"); }
void BM_SaveRaw24(benchmark::State& state) { SaveAs(state, lumora::kStillRaw, "save.raw"); }
void BM_SaveTiff24(benchmark::State& state) { SaveAs(state, lumora::kStillTiff, "save.tif"); }
void BM_SaveJpeg70(benchmark::State& state) { SaveAs(state, lumora::kStillJpeg70, "save.jpg"); }
void BM_SavePng24(benchmark::State& state) { SaveAs(state, lumora::kStillPng, "save.png"); }
BENCHMARK(BM_SaveBmp24)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SaveRaw24)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SaveTiff24)->Unit(benchmark::kMillisecond);

// libjpeg alone: the same picture, top row first, quality 70, baseline tables, progressive.
void BM_LibJpeg70_Direct(benchmark::State& state) {
    const ImageBuffer& f = Frame();
    const std::string path = OutPath("direct.jpg");
    for (auto _ : state) {
        std::FILE* file = std::fopen(path.c_str(), "wb");
        jpeg_compress_struct cinfo;
        jpeg_error_mgr err;
        cinfo.err = jpeg_std_error(&err);
        jpeg_create_compress(&cinfo);
        jpeg_stdio_dest(&cinfo, file);
        cinfo.image_width = kWidth;
        cinfo.image_height = kHeight;
        cinfo.input_components = 3;
        cinfo.in_color_space = JCS_EXT_BGR;
        jpeg_set_defaults(&cinfo);
        jpeg_set_quality(&cinfo, 70, TRUE);
        jpeg_simple_progression(&cinfo);
        jpeg_start_compress(&cinfo, TRUE);
        while (cinfo.next_scanline < cinfo.image_height) {
            JSAMPROW row = const_cast<JSAMPROW>(f.Row(int32_t(cinfo.next_scanline)));
            jpeg_write_scanlines(&cinfo, &row, 1);
        }
        jpeg_finish_compress(&cinfo);
        jpeg_destroy_compress(&cinfo);
        std::fclose(file);
    }
    SetBytes(state, f);
    std::remove(path.c_str());
}
BENCHMARK(BM_SaveJpeg70)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LibJpeg70_Direct)->Unit(benchmark::kMillisecond);

// libpng alone: the same picture and settings (8-bit RGB from blue-green-red rows, defaults).
void BM_LibPng24_Direct(benchmark::State& state) {
    const ImageBuffer& f = Frame();
    const std::string path = OutPath("direct.png");
    std::vector<png_bytep> rows(kHeight);
    for (int r = 0; r < kHeight; ++r) rows[r] = const_cast<png_bytep>(f.Row(r));
    for (auto _ : state) {
        std::FILE* file = std::fopen(path.c_str(), "wb");
        png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
        png_infop info = png_create_info_struct(png);
        png_init_io(png, file);
        png_set_IHDR(png, info, kWidth, kHeight, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                     PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
        png_write_info(png, info);
        png_set_bgr(png);
        png_write_image(png, rows.data());
        png_write_end(png, info);
        png_destroy_write_struct(&png, &info);
        std::fclose(file);
    }
    SetBytes(state, f);
    std::remove(path.c_str());
}
BENCHMARK(BM_SavePng24)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LibPng24_Direct)->Unit(benchmark::kMillisecond);

}  // namespace
