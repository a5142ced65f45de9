#include "KXJpegEncoder.h"

#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include <jpeglib.h>

namespace KXImageFileDetail {

namespace {

struct ErrorManager {
    jpeg_error_mgr base;
    std::jmp_buf back;
    char message[JMSG_LENGTH_MAX];
};

void OnError(j_common_ptr info)
{
    auto* errors = reinterpret_cast<ErrorManager*>(info->err);
    (*info->err->format_message)(info, errors->message);
    std::longjmp(errors->back, 1);
}

void Quiet(j_common_ptr) {}

// Everything libjpeg touches lives in this frame's caller, so that the jump
// back skips no destructor.
bool Encode(jpeg_compress_struct& info, ErrorManager& errors, const QImage& picture, int quality, int h, int v,
            unsigned char* row, unsigned char** out, unsigned long* outSize)
{
    if (setjmp(errors.back))
        return false;
    jpeg_create_compress(&info);
    jpeg_mem_dest(&info, out, outSize);
    info.image_width = static_cast<JDIMENSION>(picture.width());
    info.image_height = static_cast<JDIMENSION>(picture.height());
    info.input_components = 3;
    info.in_color_space = JCS_RGB;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, quality, TRUE);
    info.comp_info[0].h_samp_factor = h;
    info.comp_info[0].v_samp_factor = v;
    for (int c = 1; c < 3; ++c)
        info.comp_info[c].h_samp_factor = info.comp_info[c].v_samp_factor = 1;
    info.optimize_coding = TRUE;
    jpeg_start_compress(&info, TRUE);
    const int width = picture.width();
    while (info.next_scanline < info.image_height) {
        const auto* line = reinterpret_cast<const QRgb*>(picture.constScanLine(static_cast<int>(info.next_scanline)));
        for (int x = 0; x < width; ++x) {
            row[3 * x] = static_cast<unsigned char>(qRed(line[x]));
            row[3 * x + 1] = static_cast<unsigned char>(qGreen(line[x]));
            row[3 * x + 2] = static_cast<unsigned char>(qBlue(line[x]));
        }
        JSAMPROW rows[1] = {row};
        jpeg_write_scanlines(&info, rows, 1);
    }
    jpeg_finish_compress(&info);
    return true;
}

} // namespace

QString EncodeJpeg(const QImage& picture, int quality, int h, int v, QByteArray* encoded)
{
    jpeg_compress_struct info{};
    ErrorManager errors{};
    info.err = jpeg_std_error(&errors.base);
    errors.base.error_exit = OnError;
    errors.base.output_message = Quiet;
    std::vector<unsigned char> row(static_cast<size_t>(picture.width()) * 3);
    unsigned char* out = nullptr;
    unsigned long outSize = 0;
    const bool done = Encode(info, errors, picture, quality, h, v, row.data(), &out, &outSize);
    jpeg_destroy_compress(&info);
    if (done)
        *encoded = QByteArray(reinterpret_cast<const char*>(out), static_cast<int>(outSize));
    std::free(out);
    return done ? QString() : QString::fromLocal8Bit(errors.message);
}

} // namespace KXImageFileDetail
