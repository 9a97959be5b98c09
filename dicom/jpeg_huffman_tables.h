// Motion JPEG frames often leave out their Huffman tables (DHT) and rely on the standard ones;
// a JPEG in a DICOM object must carry them. The standard tables are inserted as a DHT segment
// before the scan; the coded data stays byte for byte as it was.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

class CJpegHuffmanTables {
  public:
    // Whether the JPEG has a DHT segment before its first scan; false for no JPEG at all.
    static bool HasTables(const std::vector<std::uint8_t>& jpeg);
    // The JPEG with the standard tables inserted when it has none; as it is when it has some;
    // empty when its markers cannot be followed to a scan.
    static std::vector<std::uint8_t> WithTables(const std::vector<std::uint8_t>& jpeg);
    // The DHT segment (marker included) of the four standard tables, as libjpeg defines them.
    static const std::vector<std::uint8_t>& StandardSegment();

  private:
    // Offset of the first SOS marker, or 0 when none is reached; *dht whether a DHT came before.
    static std::size_t ScanStart(const std::vector<std::uint8_t>& jpeg, bool* dht);
};
