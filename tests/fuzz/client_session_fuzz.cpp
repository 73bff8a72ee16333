// libFuzzer target: whole client sessions, the command reader and every handler driven by
// arbitrary client bytes. The first input byte sets the scene: bit 0 starts the session logged in
// with every camera selected, bit 1 gives every camera a new picture first, bit 2 makes a picture
// arrive during the session; the rest is what the client sends. What the server answers is thrown
// away. A run must end (every read ends at the end of the input) and leave the slot free; refused
// logins go through the address guard, with no waiting.

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>

#include "config/user_table.h"
#include "net/client_session.h"

namespace {

using namespace kel;

class InputStream : public ByteStream {
public:
    InputStream(const uint8_t* data, size_t size) : data_(data), size_(size) {}
    // Short reads, so lines and raw bytes cross buffer boundaries.
    size_t Read(void* out, size_t capacity) override {
        size_t n = std::min({capacity, size_ - at_, size_t{7}});
        std::memcpy(out, data_ + at_, n);
        at_ += n;
        return n;
    }
    bool Write(const void*, size_t) override {
        if (onWrite)
            onWrite();
        return true;
    }
    std::function<void()> onWrite;  // the station goes on between replies

private:
    const uint8_t* data_;
    size_t size_;
    size_t at_ = 0;
};

struct World {
    World() {
        TCameraTable cameras{};
        for (auto& c : cameras)
            c.Active = 1;
        tables.SetCameras(cameras);
        TUserTable users{};
        UserFields f;
        f.Login = "a";
        f.Password = "b";
        f.StoreInto(users[0]);
        tables.SetUsers(users);
        const uint8_t picture[] = {1, 2, 3, 4, 5};
        pictures.Add(1, picture, sizeof picture, 352, 288, "");
    }
    CameraFlags signal{};
    FrameBatch pictures;
    ServerTables tables;
    FixedClock clock{LocalTime{}};
    std::atomic<int> count{0};
    ClientTable table{count};
    PeerGuard guard{{std::chrono::seconds(60), std::chrono::milliseconds(0), std::chrono::milliseconds(0),
                     std::chrono::seconds(600)}};
    ServerLinks links{signal,
                      &pictures,
                      tables,
                      [] { return 3u; },
                      [](const std::string&) {},
                      [](const std::string&) {},
                      clock,
                      std::chrono::milliseconds(0)};  // a poll with nothing new answers at once
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static World world;
    if (size == 0)
        return 0;
    const uint8_t scene = data[0];
    std::string input;
    if (scene & 1)
        input = "@gud\na\nb\n@svc\n" + std::string(16, '\x01');
    input.append(reinterpret_cast<const char*>(data + 1), size - 1);
    const uint8_t picture[] = {9, 8, 7};
    if (scene & 2)
        for (int k = 1; k <= kCameraCount; ++k)
            world.pictures.Add(k, picture, sizeof picture, 352, 288, "");
    InputStream stream(reinterpret_cast<const uint8_t*>(input.data()), input.size());
    int writes = 0;
    if (scene & 4)
        stream.onWrite = [&] {
            if (++writes == 3) {
                if (world.pictures.Count(2) == FrameBatch::kSlots)
                    world.pictures.Clear(2);
                world.pictures.Add(2, picture, sizeof picture, 352, 288, "");
            }
        };
    {
        ClientSession session(stream, world.table, world.links, "10.0.0.1", &world.guard);
        session.Run();
    }
    for (int k = 1; k <= kCameraCount; ++k)
        if (world.pictures.Count(k) == FrameBatch::kSlots)
            world.pictures.Clear(k);
    if (world.count.load() != 0)
        std::abort();  // a slot leaked
    return 0;
}
