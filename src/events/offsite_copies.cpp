#include "events/offsite_copies.h"

#include <algorithm>
#include <ctime>
#include <filesystem>
#include <fstream>

namespace kel {

namespace {

int64_t UnixNow() {
    return static_cast<int64_t>(std::time(nullptr));
}

std::string Megabytes(uint64_t bytes) {
    return std::to_string((bytes + (1 << 19)) >> 20) + " MB";
}

}  // namespace

OffsiteCopies::OffsiteCopies(OffsiteLinks links) : links_(std::move(links)) {}

OffsiteCopies::~OffsiteCopies() {
    Stop();
}

std::string OffsiteCopies::Key(const std::string& prefix, int camera, const std::string& name) {
    std::string p = prefix;
    while (!p.empty() && p.back() == '/')
        p.pop_back();
    return (p.empty() ? "" : p + "/") + "Kamera" + std::to_string(camera) + "/" + name;
}

void OffsiteCopies::SetPauses(std::chrono::milliseconds first, std::chrono::milliseconds longest) {
    first_pause_ = first;
    longest_pause_ = longest;
}

bool OffsiteCopies::Start(const std::string& queueFile, OffsiteSettings settings) {
    Stop();
    if (!queue_)
        queue_ = std::make_unique<CopyQueue>(queueFile);
    bool setAside = false;
    if (!queue_->Open(setAside)) {
        links_.Log("Kopie poza stacja wstrzymane: " + queue_->ErrorText(), true);
        return false;
    }
    open_.store(true, std::memory_order_release);
    if (setAside)
        links_.Log("Kolejka kopii poza stacja byla uszkodzona, odlozona jako " + queue_->Path() +
                       ".bad; wszystkie nagrania z indeksu zostana skopiowane ponownie",
                   true);
    std::string why;
    if (!S3Client(settings.store).Usable(why)) {
        links_.Log("Kopie poza stacja wstrzymane: " + why, true);
        return false;
    }
    // Taken before anything is recorded, so the first recording is never before it.
    since_ = queue_->Since(links_.Now());
    settings_ = std::move(settings);
    head_file_ = (std::filesystem::path(queueFile).parent_path() / "audit-head.json").string();
    failures_ = 0;
    behind_said_ = false;
    return thread_.Start(
        [this](std::stop_token stop) { Run(stop); },
        [this](const std::string& what) { links_.Log("Blad kopii poza stacja: " + what, true); });
}

void OffsiteCopies::Stop() {
    thread_.Stop();
}

std::string OffsiteCopies::HeadKey(const std::string& prefix) {
    return (prefix.empty() ? std::string() : prefix + "/") + "audit-head.json";
}

void OffsiteCopies::PutAuditHead(const std::string& json) {
    {
        MutexLock lock(wake_mutex_);
        head_ = json;
        nudged_ = true;
    }
    wake_.notify_all();
}

void OffsiteCopies::PutHead(S3Client& client) {
    std::string head;
    {
        MutexLock lock(wake_mutex_);
        head.swap(head_);
    }
    if (head.empty())
        return;
    const std::string part = head_file_ + ".part";
    bool ok = false;
    {
        std::ofstream out(part, std::ios::binary | std::ios::trunc);
        out << head << "\n";
        ok = static_cast<bool>(out.flush());
    }
    std::error_code ec;
    ok = ok && (std::filesystem::rename(part, head_file_, ec), !ec);
    if (ok && client.PutFile(head_file_, HeadKey(settings_.prefix), {}, [] { return false; }))
        return;
    MutexLock lock(wake_mutex_);
    if (head_.empty())
        head_ = head;  // tried again with the next copy or head
}

void OffsiteCopies::Archived(int camera, const std::string& name, double start) {
    if (!open_.load(std::memory_order_acquire))
        return;  // never switched on: the index is looked through at the first start
    if (!queue_->Add(camera, name, start))
        links_.Log("Kolejka kopii poza stacja: " + queue_->ErrorText(), true);
    {
        MutexLock lock(wake_mutex_);
        nudged_ = true;
    }
    wake_.notify_all();
}

CopyQueue::Backlog OffsiteCopies::Waiting() {
    if (!open_.load(std::memory_order_acquire))
        return {};
    return queue_->Waiting();
}

// What the index lists from the start of copying on and the queue misses goes in; what the queue
// holds done of recordings the index no longer lists is forgotten.
void OffsiteCopies::Reconcile() {
    // A recording's start may lie a moment before the switching on that it followed.
    const double since = since_ - 1.0 / 1440;
    std::vector<QueuedCopy> indexed = links_.Indexed();
    double oldest = 1e9;
    std::vector<QueuedCopy> wanted;
    for (QueuedCopy& c : indexed) {
        oldest = std::min(oldest, c.start);
        if (c.start >= since)
            wanted.push_back(std::move(c));
    }
    if (!queue_->AddAll(wanted) || !queue_->ForgetBefore(oldest))
        links_.Log("Kolejka kopii poza stacja: " + queue_->ErrorText(), true);
}

void OffsiteCopies::SayBacklog(bool always) {
    const auto now = std::chrono::steady_clock::now();
    const CopyQueue::Backlog b = queue_->Waiting();
    if (b.count == 0) {
        if (behind_said_)
            links_.Log("Kopie poza stacja: wszystkie nagrania skopiowane", false);
        behind_said_ = false;
    } else if (always || now - said_at_ >= kBacklogEvery) {
        links_.Log("Kopie poza stacja: czeka " + std::to_string(b.count) + " nagran, najstarsze z " +
                       links_.Text(b.oldestStart),
                   false);
        behind_said_ = true;
        said_at_ = now;
    }
}

void OffsiteCopies::Wait(std::stop_token stop, std::chrono::milliseconds longest) {
    UniqueMutexLock lock(wake_mutex_);
    wake_.wait_for(lock, stop, longest, [this]() KEL_REQUIRES(wake_mutex_) { return nudged_; });
    nudged_ = false;
}

void OffsiteCopies::Run(std::stop_token stop) {
    Reconcile();
    said_at_ = std::chrono::steady_clock::now();
    if (queue_->Waiting().count > 0)
        SayBacklog(true);
    S3Client client(settings_.store);
    while (!stop.stop_requested()) {
        PutHead(client);
        const std::optional<QueuedCopy> next = queue_->Next(UnixNow());
        if (!next) {
            SayBacklog(false);
            const std::optional<int64_t> due = queue_->NextDue();
            const auto rest = due ? std::chrono::seconds(std::max<int64_t>(*due - UnixNow(), 1))
                                  : std::chrono::seconds(kBacklogEvery);
            Wait(stop, std::min<std::chrono::milliseconds>(rest, kBacklogEvery));
            continue;
        }
        if (CopyOne(*next, client, stop)) {
            SayBacklog(false);
            continue;
        }
        if (stop.stop_requested())
            break;
        // The whole queue waits, as long as the failures in a row say: most failures are the
        // store's or the line's. The copy itself waits as long as its own attempts say, so one
        // the store keeps refusing does not hold up the others.
        auto growing = [this](int n) {
            return std::min<std::chrono::milliseconds>(first_pause_ * (1LL << std::clamp(n, 0, 20)),
                                                       longest_pause_);
        };
        const auto pause = growing(failures_ - 1);
        const auto own = std::max(pause, growing(next->attempts));
        queue_->Failed(next->id, UnixNow() + std::chrono::ceil<std::chrono::seconds>(own).count());
        thread_.Pause(stop, pause);
    }
}

bool OffsiteCopies::CopyOne(const QueuedCopy& copy, S3Client& client, std::stop_token stop) {
    const std::string key = Key(settings_.prefix, copy.camera, copy.name);
    const std::string path = links_.Locate(copy.camera, copy.name);
    if (path.empty()) {
        queue_->Finish(copy.id, CopyQueue::State::Gone);
        links_.Log("Nagranie usuniete z dysku przed skopiowaniem poza stacje: Kamera" +
                       std::to_string(copy.camera) + "\\" + copy.name + " (razem " +
                       std::to_string(queue_->GoneTotal()) + ")",
                   true);
        return true;
    }
    // A multipart upload a stop or a crash cut short goes first, so no orphaned parts stay.
    if (!copy.uploadId.empty() && client.Abort(key, copy.uploadId))
        queue_->SetUpload(copy.id, "");
    const bool ok = client.PutFile(
        path, key, [&](const std::string& id) { queue_->SetUpload(copy.id, id); },
        [&] { return stop.stop_requested(); });
    if (ok) {
        queue_->Finish(copy.id, CopyQueue::State::Copied);
        copied_.fetch_add(1);
        if (failures_ > 0)
            links_.Log("Kopie poza stacja: serwer znow przyjmuje kopie (po " + std::to_string(failures_) +
                           " nieudanych probach)",
                       false);
        failures_ = 0;
        return true;
    }
    if (stop.stop_requested())
        return false;
    if (++failures_ == 1)
        links_.Log("Kopie poza stacja: nie mozna skopiowac " + key + " (" + Megabytes(client.Sent()) +
                       " wyslane): " + client.ErrorText() + "; kolejne proby coraz rzadziej",
                   true);
    return false;
}

}  // namespace kel
