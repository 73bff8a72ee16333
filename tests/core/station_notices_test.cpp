#include "core/station_notices.h"

#include <gtest/gtest.h>

#include <chrono>
#include <mutex>
#include <thread>
#include <vector>

#include "support/temp_dir.h"

namespace kel {
namespace {

class CollectingSender : public MailSender {
public:
    bool Send(const MailMessage& message, std::string&) override {
        std::lock_guard lock(mutex);
        sent.push_back(message);
        return true;
    }
    size_t Count() {
        std::lock_guard lock(mutex);
        return sent.size();
    }
    std::mutex mutex;
    std::vector<MailMessage> sent;
};

TEST(StationNoticesTest, AMotionMessageCarriesThePictureAtMostOnceAMinuteACamera) {
    TempDir dir;
    TShared shared;
    TLog log(SystemClock::Instance(), dir.File("Server.log"));
    CollectingSender sender;
    StationNotices notices(shared, log);
    notices.SetMailSender(sender);
    notices.SetAddressLookup([] { return std::string("10.0.0.1"); });
    notices.Start();
    auto applied = std::make_shared<AppliedConfig>();
    applied->settings.bMessages = true;
    applied->settings.MotionMail = true;
    applied->settings.mSMTP = "poczta";
    applied->settings.mTARGET = "ochrona@example.pl";
    const MailView on(applied);

    const std::string jpeg("\xFF\xD8 picture", 10);
    EXPECT_TRUE(notices.SendMotion(on, 1, "Brama", "2026-12-09 - 10:00:00", jpeg, 1000));
    EXPECT_FALSE(notices.SendMotion(on, 1, "Brama", "2026-12-09 - 10:00:30", jpeg, 1030))
        << "within the minute";
    EXPECT_TRUE(notices.SendMotion(on, 2, "Parking", "2026-12-09 - 10:00:30", jpeg, 1030))
        << "another camera";
    EXPECT_TRUE(notices.SendMotion(on, 1, "Brama", "2026-12-09 - 10:01:00", jpeg, 1060));
    EXPECT_FALSE(notices.SendMotion(on, 3, "Hala", "2026-12-09 - 10:01:00", "", 1060)) << "no picture";
    auto off = std::make_shared<AppliedConfig>(*applied);
    off->settings.MotionMail = false;
    EXPECT_FALSE(notices.SendMotion(MailView(off), 4, "Biuro", "2026-12-09 - 10:01:00", jpeg, 1060));
    off->settings.MotionMail = true;
    off->settings.bMessages = false;
    EXPECT_FALSE(notices.SendMotion(MailView(off), 4, "Biuro", "2026-12-09 - 10:01:00", jpeg, 1060))
        << "only with the notices on";

    for (int i = 0; i < 500 && sender.Count() < 3; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    notices.Close();
    ASSERT_EQ(sender.Count(), 3u);
    EXPECT_EQ(sender.sent[0].body, "2026-12-09 - 10:00:00 : Ruch na kamerze 1 (Brama)");
    EXPECT_EQ(sender.sent[0].pictureName, "Kamera1.jpg");
    EXPECT_EQ(sender.sent[0].picture, jpeg);
    EXPECT_EQ(sender.sent[0].target, "ochrona@example.pl");
}

}  // namespace
}  // namespace kel
