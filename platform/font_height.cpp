#include "platform/font_height.h"

#include <QFontMetrics>
#include <algorithm>
#include <cmath>

namespace platform {

void SetCellHeight(QFont& font, int cellHeight) {
    if (cellHeight <= 0) return;
    font.setPixelSize(cellHeight);
    // CJK faces have tall line spacing: scale the em size down until the cell fits.
    for (int i = 0; i < 4; ++i) {
        const int measured = QFontMetrics(font).height();
        if (measured <= cellHeight) return;
        const int px =
            std::max(1, static_cast<int>(std::floor(font.pixelSize() *
                                                    static_cast<double>(cellHeight) / measured)));
        if (px == font.pixelSize()) {
            font.setPixelSize(std::max(1, px - 1));
        } else {
            font.setPixelSize(px);
        }
    }
}

int CellHeight(const QFont& font) {
    return QFontMetrics(font).height();
}

}  // namespace platform
