#include "dicom/jpeg_huffman_tables.h"

#include <cstdio>
// clang-format off
#include <jpeglib.h>
// clang-format on

size_t CJpegHuffmanTables::ScanStart(const std::vector<std::uint8_t>& jpeg, bool* dht) {
    *dht = false;
    if (jpeg.size() < 4 || jpeg[0] != 0xFF || jpeg[1] != 0xD8) return 0;
    size_t at = 2;
    while (at + 4 <= jpeg.size()) {
        if (jpeg[at] != 0xFF) return 0;
        const std::uint8_t marker = jpeg[at + 1];
        if (marker == 0xFF) {  // fill byte
            ++at;
            continue;
        }
        if (marker == 0xDA) return at;
        if (marker == 0xC4) *dht = true;
        if (marker == 0xD8 || marker == 0xD9 || (marker >= 0xD0 && marker <= 0xD7)) return 0;
        const size_t length = (static_cast<size_t>(jpeg[at + 2]) << 8) | jpeg[at + 3];
        if (length < 2) return 0;
        at += 2 + length;
    }
    return 0;
}

bool CJpegHuffmanTables::HasTables(const std::vector<std::uint8_t>& jpeg) {
    bool dht = false;
    return ScanStart(jpeg, &dht) != 0 && dht;
}

std::vector<std::uint8_t> CJpegHuffmanTables::WithTables(const std::vector<std::uint8_t>& jpeg) {
    bool dht = false;
    const size_t scan = ScanStart(jpeg, &dht);
    if (scan == 0) return {};
    if (dht) return jpeg;
    const std::vector<std::uint8_t>& tables = StandardSegment();
    std::vector<std::uint8_t> out;
    out.reserve(jpeg.size() + tables.size());
    out.insert(out.end(), jpeg.begin(), jpeg.begin() + static_cast<std::ptrdiff_t>(scan));
    out.insert(out.end(), tables.begin(), tables.end());
    out.insert(out.end(), jpeg.begin() + static_cast<std::ptrdiff_t>(scan), jpeg.end());
    return out;
}

const std::vector<std::uint8_t>& CJpegHuffmanTables::StandardSegment() {
    static const std::vector<std::uint8_t> segment = [] {
        // jpeg_set_defaults fills in the standard tables; nothing is compressed.
        jpeg_compress_struct cinfo{};
        jpeg_error_mgr err{};
        cinfo.err = jpeg_std_error(&err);
        jpeg_create_compress(&cinfo);
        cinfo.in_color_space = JCS_YCbCr;
        cinfo.input_components = 3;
        jpeg_set_defaults(&cinfo);
        std::vector<std::uint8_t> body;
        auto add = [&body](const JHUFF_TBL* table, std::uint8_t classAndId) {
            body.push_back(classAndId);
            int count = 0;
            for (int i = 1; i <= 16; ++i) {
                body.push_back(table->bits[i]);
                count += table->bits[i];
            }
            body.insert(body.end(), table->huffval, table->huffval + count);
        };
        add(cinfo.dc_huff_tbl_ptrs[0], 0x00);
        add(cinfo.ac_huff_tbl_ptrs[0], 0x10);
        add(cinfo.dc_huff_tbl_ptrs[1], 0x01);
        add(cinfo.ac_huff_tbl_ptrs[1], 0x11);
        jpeg_destroy_compress(&cinfo);
        const size_t length = body.size() + 2;
        body.insert(body.begin(), {0xFF, 0xC4, static_cast<std::uint8_t>(length >> 8),
                                   static_cast<std::uint8_t>(length & 0xFF)});
        return body;
    }();
    return segment;
}
