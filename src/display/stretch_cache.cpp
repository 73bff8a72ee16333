#include "display/stretch_cache.h"

#include <utility>

namespace kel {

const Surface* StretchCache::Get(const Surface& src, const Rect& from, int w, int h, Blitter& blitter) {
    if (!src.Valid())
        return nullptr;
    if (from == src.Bounds() && src.Width() == w && src.Height() == h)
        return &src;
    for (auto it = entries_.begin(); it != entries_.end(); ++it) {
        if (it->src == &src && it->from == from && it->scaled.Width() == w && it->scaled.Height() == h) {
            entries_.splice(entries_.begin(), entries_, it);
            return &it->scaled;
        }
    }
    Entry entry{&src, from, {}};
    if (!entry.scaled.Allocate(w, h, PixelFormat::Rgb32) ||
        !blitter.Blit(src, from, entry.scaled, {0, 0, w, h}))
        return nullptr;
    if (entries_.size() >= kMaxEntries)
        entries_.pop_back();
    entries_.push_front(std::move(entry));
    return &entries_.front().scaled;
}

}  // namespace kel
