#include "capture/jpeg_stamper.h"

// jpeglib.h needs size_t and FILE declared first.
#include <jpeglib.h>
// After jpeglib.h, which it needs.
#include <jerror.h>

#include <algorithm>
#include <array>
#include <csetjmp>
#include <cstdio>
#include <cstring>

namespace {

// libjpeg reports errors through a longjmp back into Recode; warnings (damaged data that still
// decodes) are noted, since such a frame goes through the decoded picture instead.
struct CErrorManager {
    jpeg_error_mgr pub;  // first: libjpeg hands back a pointer to it
    std::jmp_buf jump;
    bool warned;
    char message[JMSG_LENGTH_MAX];
};

void OnError(j_common_ptr c) {
    auto* e = reinterpret_cast<CErrorManager*>(c->err);
    c->err->format_message(c, e->message);
    std::longjmp(e->jump, 1);
}

void OnMessage(j_common_ptr c, int level) {
    auto* e = reinterpret_cast<CErrorManager*>(c->err);
    if (level >= 0 || e->warned) return;
    e->warned = true;
    c->err->format_message(c, e->message);
}

// A destination that writes into a vector kept between frames: it grows until it fits the
// largest frame seen and is then reused.
struct CVectorDestination {
    jpeg_destination_mgr pub;  // first: libjpeg hands back a pointer to it
    std::vector<std::uint8_t>* bytes;
    std::size_t used;
};

void InitDestination(j_compress_ptr c) {
    auto* d = reinterpret_cast<CVectorDestination*>(c->dest);
    if (d->bytes->size() < 65536) d->bytes->resize(65536);
    d->pub.next_output_byte = d->bytes->data();
    d->pub.free_in_buffer = d->bytes->size();
    d->used = 0;
}

boolean EmptyOutputBuffer(j_compress_ptr c) {
    auto* d = reinterpret_cast<CVectorDestination*>(c->dest);
    const std::size_t full = d->bytes->size();
    d->bytes->resize(full * 2);
    d->pub.next_output_byte = d->bytes->data() + full;
    d->pub.free_in_buffer = d->bytes->size() - full;
    return TRUE;
}

void TermDestination(j_compress_ptr c) {
    auto* d = reinterpret_cast<CVectorDestination*>(c->dest);
    d->used = d->bytes->size() - d->pub.free_in_buffer;
}

void Attach(CVectorDestination& d, std::vector<std::uint8_t>& bytes) {
    d.pub.init_destination = InitDestination;
    d.pub.empty_output_buffer = EmptyOutputBuffer;
    d.pub.term_destination = TermDestination;
    d.bytes = &bytes;
    d.used = 0;
}

// The frame's coefficients in memory kept from frame to frame. libjpeg's memory manager takes
// its block arrays (about 1 MB for 640x480) from malloc at each frame and gives them back at the
// frame's end, so each frame wrote to pages new to the process. These methods stand in for its
// block-array methods on the objects that touch the frame's coefficients; the arrays of other
// pools, and any beyond the kept ones, stay libjpeg's.
struct CKeptBlocks {
    struct CArray {
        std::vector<JCOEF> coefs;  // grows to the largest frame, never shrinks
        std::vector<JBLOCKROW> rows;
        JDIMENSION width = 0;  // blocks per row
        JDIMENSION height = 0;
        bool preZero = false;
    };
    std::array<CArray, MAX_COMPONENTS> arrays;
    int used = 0;      // arrays handed out for the current frame
    int realized = 0;  // of those, made ready (the writer realizes its arrays too: not again)
    jvirt_barray_ptr (*request)(j_common_ptr, int, boolean, JDIMENSION, JDIMENSION,
                                JDIMENSION) = nullptr;
    void (*realize)(j_common_ptr) = nullptr;
    JBLOCKARRAY (*access)
    (j_common_ptr, jvirt_barray_ptr, JDIMENSION, JDIMENSION, boolean) = nullptr;

    CArray* Ours(jvirt_barray_ptr p) {
        auto* a = reinterpret_cast<CArray*>(p);
        return a >= arrays.data() && a < arrays.data() + used ? a : nullptr;
    }
};

CKeptBlocks& KeptOf(j_common_ptr c) {
    return *static_cast<CKeptBlocks*>(c->client_data);
}

jvirt_barray_ptr RequestBlocks(j_common_ptr c, int pool, boolean preZero, JDIMENSION width,
                               JDIMENSION height, JDIMENSION maxAccess) {
    CKeptBlocks& k = KeptOf(c);
    if (pool != JPOOL_IMAGE || k.used == static_cast<int>(k.arrays.size()))
        return k.request(c, pool, preZero, width, height, maxAccess);
    CKeptBlocks::CArray& a = k.arrays[static_cast<std::size_t>(k.used++)];
    a.width = width;
    a.height = height;
    a.preZero = preZero != FALSE;
    return reinterpret_cast<jvirt_barray_ptr>(&a);
}

void RealizeBlocks(j_common_ptr c) {
    CKeptBlocks& k = KeptOf(c);
    k.realize(c);
    for (int i = k.realized; i < k.used; ++i) {
        CKeptBlocks::CArray& a = k.arrays[static_cast<std::size_t>(i)];
        const std::size_t n = std::size_t{a.width} * a.height * DCTSIZE2;
        if (a.coefs.size() < n) a.coefs.resize(n);
        a.rows.resize(a.height);
        for (JDIMENSION y = 0; y < a.height; ++y)
            a.rows[y] =
                reinterpret_cast<JBLOCKROW>(a.coefs.data() + std::size_t{y} * a.width * DCTSIZE2);
        if (a.preZero) std::memset(a.coefs.data(), 0, n * sizeof(JCOEF));
    }
    k.realized = k.used;
}

JBLOCKARRAY AccessBlocks(j_common_ptr c, jvirt_barray_ptr p, JDIMENSION start, JDIMENSION rows,
                         boolean writable) {
    CKeptBlocks& k = KeptOf(c);
    CKeptBlocks::CArray* a = k.Ours(p);
    if (!a) return k.access(c, p, start, rows, writable);
    if (start + rows > a->height || a->rows.size() < a->height) ERREXIT(c, JERR_BAD_VIRTUAL_ACCESS);
    return a->rows.data() + start;
}

// Lets the object's memory manager hand out and reach the kept arrays.
void UseKeptBlocks(j_common_ptr c, CKeptBlocks& kept) {
    c->client_data = &kept;
    if (!kept.request) {
        kept.request = c->mem->request_virt_barray;
        kept.realize = c->mem->realize_virt_arrays;
        kept.access = c->mem->access_virt_barray;
    }
    c->mem->request_virt_barray = RequestBlocks;
    c->mem->realize_virt_arrays = RealizeBlocks;
    c->mem->access_virt_barray = AccessBlocks;
}

}  // namespace

struct CJpegStamper::CState {
    CErrorManager error;
    jpeg_decompress_struct frame;   // the camera's frame, read to coefficients
    jpeg_compress_struct region;    // the stamped blocks, coded as the frame is
    jpeg_decompress_struct blocks;  // those, read back to coefficients
    jpeg_compress_struct out;       // the frame's coefficients written out again
    CVectorDestination regionDestination;
    CVectorDestination outDestination;
    std::vector<std::uint8_t> regionBytes;
    std::vector<std::uint8_t> outBytes;
    std::vector<JSAMPROW> rows;
    CKeptBlocks keptBlocks;  // the frame's coefficients
    // The coefficients of the frame DecodeKeeping decoded, which these bytes were.
    jvirt_barray_ptr* kept = nullptr;
    const std::uint8_t* keptJpeg = nullptr;
    std::size_t keptSize = 0;

    CState() {
        jpeg_std_error(&error.pub);
        error.pub.error_exit = OnError;
        error.pub.emit_message = OnMessage;
        frame.err = region.err = blocks.err = out.err = &error.pub;
        jpeg_create_decompress(&frame);
        jpeg_create_decompress(&blocks);
        jpeg_create_compress(&region);
        jpeg_create_compress(&out);
        Attach(regionDestination, regionBytes);
        Attach(outDestination, outBytes);
        region.dest = &regionDestination.pub;
        out.dest = &outDestination.pub;
        // The frame's decompressor makes its arrays, the writer reads them.
        UseKeptBlocks(reinterpret_cast<j_common_ptr>(&frame), keptBlocks);
        UseKeptBlocks(reinterpret_cast<j_common_ptr>(&out), keptBlocks);
    }
    ~CState() {
        jpeg_destroy_compress(&out);
        jpeg_destroy_compress(&region);
        jpeg_destroy_decompress(&blocks);
        jpeg_destroy_decompress(&frame);
    }
    // Back to the start for the next frame; frees what libjpeg took for this one.
    void Reset() {
        kept = nullptr;
        keptJpeg = nullptr;
        keptSize = 0;
        jpeg_abort_compress(&out);
        jpeg_abort_compress(&region);
        jpeg_abort_decompress(&blocks);
        jpeg_abort_decompress(&frame);
        keptBlocks.used = 0;
        keptBlocks.realized = 0;
    }
};

namespace {

// The sampling this path takes: grey, or YCbCr with chroma at one sample per MCU and luma at
// one or two in each direction (4:4:4, 4:2:2, 4:4:0, 4:2:0).
const char* Unsupported(const jpeg_decompress_struct& f) {
    if (f.data_precision != 8) return "not 8-bit samples";
    if (f.num_components == 1)
        return f.jpeg_color_space == JCS_GRAYSCALE ? nullptr : "colour space";
    if (f.num_components != 3 || f.jpeg_color_space != JCS_YCbCr) return "colour space";
    const jpeg_component_info* c = f.comp_info;
    if (c[0].h_samp_factor > 2 || c[0].v_samp_factor > 2) return "sampling";
    for (int i = 1; i < 3; ++i)
        if (c[i].h_samp_factor != 1 || c[i].v_samp_factor != 1) return "sampling";
    return nullptr;
}

// Copies the region's blocks over the frame's at the region's place. Both share sampling.
void CopyBlocks(jpeg_decompress_struct& frame, jvirt_barray_ptr* frameCoefs,
                jpeg_decompress_struct& blocks, jvirt_barray_ptr* blockCoefs, cv::Rect at) {
    for (int ci = 0; ci < frame.num_components; ++ci) {
        const jpeg_component_info& fc = frame.comp_info[ci];
        const jpeg_component_info& rc = blocks.comp_info[ci];
        // Pixels per block of this component.
        const int bw = 8 * frame.max_h_samp_factor / fc.h_samp_factor;
        const int bh = 8 * frame.max_v_samp_factor / fc.v_samp_factor;
        const JDIMENSION x0 = static_cast<JDIMENSION>(at.x / bw);
        const JDIMENSION y0 = static_cast<JDIMENSION>(at.y / bh);
        for (JDIMENSION by = 0; by < rc.height_in_blocks && y0 + by < fc.height_in_blocks; ++by) {
            JBLOCKARRAY src = blocks.mem->access_virt_barray(
                reinterpret_cast<j_common_ptr>(&blocks), blockCoefs[ci], by, 1, FALSE);
            JBLOCKARRAY dst = frame.mem->access_virt_barray(reinterpret_cast<j_common_ptr>(&frame),
                                                            frameCoefs[ci], y0 + by, 1, TRUE);
            const JDIMENSION n = std::min(rc.width_in_blocks, fc.width_in_blocks - x0);
            std::memcpy(dst[0][x0], src[0][0], n * sizeof(JBLOCK));
        }
    }
}

// The whole recode. Only plain locals live here: libjpeg's errors longjmp back into it.
// nullptr when done, else why not.
// Reads the header and takes the frame only when it is of size and a sampling this path takes.
const char* ReadHeader(CJpegStamper::CState& s, const std::uint8_t* jpeg, std::size_t size,
                       cv::Size picture) {
    jpeg_mem_src(&s.frame, jpeg, static_cast<unsigned long>(size));
    jpeg_read_header(&s.frame, TRUE);
    if (static_cast<int>(s.frame.image_width) != picture.width ||
        static_cast<int>(s.frame.image_height) != picture.height)
        return "picture size";
    return Unsupported(s.frame);
}

// The frame decoded to BGR pixels with its coefficients kept (buffered-image mode), so the
// clip's frame needs no second entropy decode.
const char* DecodeAndKeep(CJpegStamper::CState& s, const std::uint8_t* jpeg, std::size_t size,
                          cv::Mat& bgr) {
    if (setjmp(s.error.jump)) return s.error.message;
    if (const char* why = ReadHeader(s, jpeg, size, bgr.size())) return why;
    s.frame.buffered_image = TRUE;
    s.frame.out_color_space = JCS_EXT_BGR;
    jpeg_start_decompress(&s.frame);
    // All scans first: a progressive frame then shows whole, as a one-pass decode does.
    while (!jpeg_input_complete(&s.frame))
        if (jpeg_consume_input(&s.frame) == JPEG_SUSPENDED) return "frame cut short";
    if (s.error.warned) return s.error.message;
    jpeg_start_output(&s.frame, s.frame.input_scan_number);
    for (int y = 0; y < bgr.rows; ++y) s.rows[static_cast<std::size_t>(y)] = bgr.ptr<JSAMPLE>(y);
    while (s.frame.output_scanline < s.frame.output_height)
        jpeg_read_scanlines(&s.frame, s.rows.data() + s.frame.output_scanline,
                            s.frame.output_height - s.frame.output_scanline);
    jpeg_finish_output(&s.frame);
    if (s.error.warned) return s.error.message;
    s.kept = jpeg_read_coefficients(&s.frame);
    return nullptr;
}

const char* Recode(CJpegStamper::CState& s, const std::uint8_t* jpeg, std::size_t size,
                   const cv::Mat& stamped, cv::Rect box) {
    if (setjmp(s.error.jump)) return s.error.message;
    jvirt_barray_ptr* frameCoefs = s.kept;
    if (!frameCoefs) {
        if (const char* why = ReadHeader(s, jpeg, size, stamped.size())) return why;
        frameCoefs = jpeg_read_coefficients(&s.frame);
        if (s.error.warned) return s.error.message;
    }

    // A grey frame's MCU is one block, whatever its sampling factor says.
    const cv::Size mcu = s.frame.num_components == 1 ? cv::Size(8, 8)
                                                     : cv::Size(8 * s.frame.max_h_samp_factor,
                                                                8 * s.frame.max_v_samp_factor);
    const cv::Rect r = CJpegStamper::Blocks(box, mcu, stamped.size());
    if (!r.empty()) {
        // The stamped blocks, coded with the frame's own tables and sampling.
        jpeg_copy_critical_parameters(&s.frame, &s.region);
        s.region.image_width = static_cast<JDIMENSION>(r.width);
        s.region.image_height = static_cast<JDIMENSION>(r.height);
        s.region.input_components = 3;
        s.region.in_color_space = JCS_EXT_BGR;
        s.region.write_JFIF_header = FALSE;
        jpeg_start_compress(&s.region, TRUE);
        for (int y = 0; y < r.height; ++y)
            s.rows[static_cast<std::size_t>(y)] =
                const_cast<JSAMPROW>(stamped.ptr<JSAMPLE>(r.y + y) + r.x * 3);
        while (s.region.next_scanline < s.region.image_height)
            jpeg_write_scanlines(&s.region, s.rows.data() + s.region.next_scanline,
                                 s.region.image_height - s.region.next_scanline);
        jpeg_finish_compress(&s.region);

        jpeg_mem_src(&s.blocks, s.regionBytes.data(),
                     static_cast<unsigned long>(s.regionDestination.used));
        jpeg_read_header(&s.blocks, TRUE);
        jvirt_barray_ptr* blockCoefs = jpeg_read_coefficients(&s.blocks);
        CopyBlocks(s.frame, frameCoefs, s.blocks, blockCoefs, r);
    }

    // Without optimized coding the standard Huffman tables are written, so a frame that came
    // without any (as motion JPEG usually does) leaves here complete.
    jpeg_copy_critical_parameters(&s.frame, &s.out);
    s.out.optimize_coding = FALSE;
    jpeg_write_coefficients(&s.out, frameCoefs);
    jpeg_finish_compress(&s.out);
    return nullptr;
}

}  // namespace

CJpegStamper::CJpegStamper() : m_state(std::make_unique<CState>()) {}

CJpegStamper::~CJpegStamper() = default;

cv::Rect CJpegStamper::Blocks(cv::Rect box, cv::Size mcu, cv::Size picture) {
    box &= cv::Rect(cv::Point(), picture);
    if (box.empty() || mcu.width <= 0 || mcu.height <= 0) return {};
    const int x0 = box.x / mcu.width * mcu.width;
    const int y0 = box.y / mcu.height * mcu.height;
    const int x1 = std::min(picture.width, (box.br().x + mcu.width - 1) / mcu.width * mcu.width);
    const int y1 =
        std::min(picture.height, (box.br().y + mcu.height - 1) / mcu.height * mcu.height);
    return cv::Rect(x0, y0, x1 - x0, y1 - y0);
}

bool CJpegStamper::Stamp(const std::uint8_t* jpeg, std::size_t size, const cv::Mat& stamped,
                         cv::Rect box, const std::uint8_t** data, std::size_t* outSize) {
    if (!jpeg || size == 0 || size > 0x7FFFFFFF || stamped.type() != CV_8UC3) {
        m_lastError = "no frame";
        return false;
    }
    CState& s = *m_state;
    if (s.rows.size() < static_cast<std::size_t>(stamped.rows))
        s.rows.resize(static_cast<std::size_t>(stamped.rows));
    s.error.warned = false;
    if (s.kept && (s.keptJpeg != jpeg || s.keptSize != size)) s.Reset();
    const char* why = Recode(s, jpeg, size, stamped, box);
    s.Reset();
    if (why) {
        m_lastError = why;
        return false;
    }
    *data = s.outBytes.data();
    *outSize = s.outDestination.used;
    return true;
}

bool CJpegStamper::DecodeKeeping(const std::uint8_t* jpeg, std::size_t size, cv::Size picture,
                                 cv::Mat& bgr) {
    CState& s = *m_state;
    s.Reset();
    if (!jpeg || size == 0 || size > 0x7FFFFFFF || picture.empty()) {
        m_lastError = "no frame";
        return false;
    }
    bgr.create(picture, CV_8UC3);
    if (s.rows.size() < static_cast<std::size_t>(picture.height))
        s.rows.resize(static_cast<std::size_t>(picture.height));
    s.error.warned = false;
    if (const char* why = DecodeAndKeep(s, jpeg, size, bgr)) {
        m_lastError = why;
        s.Reset();
        return false;
    }
    s.keptJpeg = jpeg;
    s.keptSize = size;
    return true;
}
