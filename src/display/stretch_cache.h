#pragma once
// Skin bitmaps stretched to the sizes they are drawn at. The background, the panels, the plan and
// the icons never change while the station runs, so each is scaled once per size and copied
// afterwards: a tile's panel costs a copy per pass instead of a scale.
//
// Entries are keyed by the source surface's address, so the cache must be cleared whenever a
// source surface is replaced or freed. One thread (the display thread) uses it.

#include <cstddef>
#include <list>

#include "display/blitter.h"
#include "display/surface.h"

namespace kel {

class StretchCache {
public:
    static constexpr size_t kMaxEntries = 40;

    // The `from` part of `src` at w x h, or nullptr when it cannot be made. A source already of
    // that size is returned itself.
    const Surface* Get(const Surface& src, const Rect& from, int w, int h, Blitter& blitter);
    void Clear() { entries_.clear(); }
    size_t Size() const { return entries_.size(); }

private:
    struct Entry {
        const Surface* src;
        Rect from;
        Surface scaled;
    };
    std::list<Entry> entries_;  // most recently used first
};

}  // namespace kel
