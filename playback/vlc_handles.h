// Owning holders for libVLC's handles: each releases its one reference when it goes.
#pragma once

#include <vlc/vlc.h>

#include <memory>

struct CVlcRelease {
    void operator()(libvlc_instance_t* instance) const { libvlc_release(instance); }
    void operator()(libvlc_media_t* media) const { libvlc_media_release(media); }
    // Releasing the last reference of a playing media player stops it first.
    void operator()(libvlc_media_player_t* player) const { libvlc_media_player_release(player); }
};

using VlcInstancePtr = std::unique_ptr<libvlc_instance_t, CVlcRelease>;
using VlcMediaPtr = std::unique_ptr<libvlc_media_t, CVlcRelease>;
using VlcMediaPlayerPtr = std::unique_ptr<libvlc_media_player_t, CVlcRelease>;
