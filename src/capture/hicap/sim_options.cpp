#include "capture/hicap/sim_options.h"

#include <charconv>
#include <vector>

namespace kel {

namespace {

std::vector<std::string_view> Split(std::string_view text) {
    std::vector<std::string_view> parts;
    size_t start = 0;
    while (start <= text.size()) {
        size_t comma = text.find(',', start);
        if (comma == std::string_view::npos)
            comma = text.size();
        parts.push_back(text.substr(start, comma - start));
        start = comma + 1;
    }
    return parts;
}

bool Camera(std::string_view text, int& camera) {
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), camera);
    return ec == std::errc() && end == text.data() + text.size() && camera >= 1 && camera <= 16;
}

}  // namespace

bool AddCameraItem(std::string_view item, std::bitset<16>& set) {
    size_t dash = item.find('-');
    int first = 0, last = 0;
    if (dash == std::string_view::npos) {
        if (!Camera(item, first))
            return false;
        last = first;
    } else if (!Camera(item.substr(0, dash), first) || !Camera(item.substr(dash + 1), last) || last < first) {
        return false;
    }
    for (int c = first; c <= last; ++c)
        set.set(c - 1);
    return true;
}

namespace {

bool Refuse(std::string& error, std::string text) {
    error = std::move(text);
    return false;
}

bool LooksLikeItem(std::string_view part) {
    return !part.empty() && part.front() >= '0' && part.front() <= '9';
}

}  // namespace

bool SimOptions::Parse(std::string_view text, SimOptions& out, std::string& error) {
    SimOptions o;
    bool still = false, motionGiven = false;
    std::bitset<16> motion;
    std::bitset<16>* list = nullptr;  // the LIST that bare numbers continue
    for (std::string_view part : text.empty() ? std::vector<std::string_view>() : Split(text)) {
        if (list && LooksLikeItem(part)) {
            if (!AddCameraItem(part, *list))
                return Refuse(error, "bad camera number or range '" + std::string(part) + "' (1..16)");
            continue;
        }
        list = nullptr;
        size_t eq = part.find('=');
        std::string_view key = part.substr(0, eq);
        if (eq != std::string_view::npos && (key == "motion" || key == "nosignal")) {
            list = key == "motion" ? &motion : &o.nosignal;
            motionGiven |= key == "motion";
            if (!AddCameraItem(part.substr(eq + 1), *list))
                return Refuse(error, std::string(key) + "= needs camera numbers 1..16, like 3,5-7");
        } else if (part == "still") {
            still = true;
        } else if (part == "absent") {
            o.absent = true;
        } else if (part == "driver") {
            o.driver = true;
        } else if (part == "version") {
            o.version = true;
        } else if (part == "closed") {
            o.closed = true;
        } else {
            return Refuse(error,
                          "unknown option '" + std::string(part) +
                              "' (still, motion=LIST, nosignal=LIST, absent, driver, version, closed)");
        }
    }
    if (still)
        o.motion.reset();
    else if (motionGiven)
        o.motion = motion;
    out = o;
    return true;
}

}  // namespace kel
