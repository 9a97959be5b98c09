#include "platform/graph/null_renderer.h"

CNullRenderer::CNullRenderer() {
    m_pins.push_back(
        std::make_unique<CBasePin>(this, QStringLiteral("In"), PINDIR_INPUT, GUID_NULL));
}
