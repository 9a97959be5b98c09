// Font heights as the Windows font mapper takes them: a positive height is the whole cell
// (ascent plus descent), not the em size Qt's pixel size means.
#pragma once

#include <QFont>

namespace platform {

// Sizes font so that its line height is cellHeight pixels (or just under).
void SetCellHeight(QFont& font, int cellHeight);
// The cell height a font was given with SetCellHeight, as the font now measures.
int CellHeight(const QFont& font);

}  // namespace platform
