// libFuzzer target: one connection's command reader and handlers driven by arbitrary client bytes.
// The input is the whole of what the client sends; what the server answers is thrown away. A run
// must end (every read ends at the end of the input) and leave the slot free.

#include <cstdint>
#include <cstdlib>
#include <cstring>
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
    bool Write(const void*, size_t) override { return true; }

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
    InputStream stream(data, size);
    {
        ClientSession session(stream, world.table, world.links, "10.0.0.1");
        session.Run();
    }
    if (world.count.load() != 0)
        std::abort();  // a slot leaked
    return 0;
}
