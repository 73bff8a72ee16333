#include "capture/hicap.h"

#include <algorithm>
#include <cstring>

#include "capture/hicap/hicap.h"
#include "capture/resolution.h"
#include "config/rate_budget.h"

namespace kel {

namespace {
constexpr int32_t kMaxFps = kGroupPictures;  // one camera may take its whole group
}  // namespace

THicap::THicap(std::string board) : board_(std::move(board)) {}

std::string THicap::StatusText(uint32_t status) {
    switch (status) {
    case kHicapNoBoard:
        return kNoBoard;
    case kHicapDriverOpen:
        return kDriverOpen;
    case kHicapDriverVersion:
        return kDriverVersion;
    default:
        return "";
    }
}

bool THicap::Check(uint32_t status) {
    status_ = status;
    if (status == kHicapOk)
        return true;
    error_text_ = StatusText(status);
    return false;
}

bool THicap::Find() {
    error_text_.clear();
    found_ = false;
    if (!board_.empty() && !HicapLoad(board_, error_text_)) {
        status_ = kHicapNoBackend;
        return false;
    }
    CArTBDRecord board{};
    CArTBDDetail detail{};
    if (!Check(HICAP50_dw_CArTBDSearch(&board)) || !Check(HICAP50_dw_CArTBDDetailInfo(0, &detail)))
        return false;
    name_.assign(detail.Name, strnlen(detail.Name, sizeof detail.Name));
    selector_ = detail.Selector;
    found_ = true;
    return true;
}

SizeModes THicap::SizeModesFor(const TCameraTable& cameras) {
    SizeModes modes;
    for (int ch = 0; ch < kBoardChannels; ++ch)
        modes[ch] = cameras[ch].Active ? ResolutionSizeMode(cameras[ch].Resolution) : 3;
    return modes;
}

GroupShares THicap::SharesFor(const TCameraTable& cameras, int group) {
    GroupShares shares{};
    int32_t sum = 0;
    for (int i = 0; i < kGroupChannels; ++i) {
        const TCameraRecord& c = cameras[2 * i + group];
        // An FPS outside 1..25 would be a share the board cannot split; it is held to that range.
        shares[i] = c.Active ? std::clamp<int32_t>(c.FPS, 0, kMaxFps) * 4 : 0;
        sum += shares[i];
    }
    if (sum == 0)
        shares[0] = 1;
    return shares;
}

bool THicap::Open(const TCameraTable& cameras, bool ntsc) {
    error_text_.clear();
    if (!found_)
        return Check(kHicapNotReady);
    if (auto backend = HicapBackend())
        backend->SetStandard(ntsc);
    SizeModes modes = SizeModesFor(cameras);
    if (!Check(HICAP50_dw_BoardOpen(selector_, 0, modes.data())) || !Check(HICAP50_dw_BoardInit()))
        return false;
    // The capture threads apply each camera's own values before every grab.
    for (int32_t ch = 0; ch < kBoardChannels; ++ch) {
        HICAP50_bl_BRIGHTNESSControl(ch, 0);
        HICAP50_bl_CONTRASTControl(ch, 0);
        HICAP50_bl_SHARPNESSControl(ch, 0);
        HICAP50_bl_SATURATIONUControl(ch, 0);
        HICAP50_bl_SATURATIONVControl(ch, 0);
        HICAP50_bl_HUEControl(ch, 0);
    }
    for (int group = 0; group < 2; ++group) {
        GroupShares shares = SharesFor(cameras, group);
        HICAP50_bl_CaptureGroupSliceCtrl(group, shares.data());
    }
    return Check(HICAP50_dw_CaptureVideoTransferON());
}

void THicap::Reshare(const TCameraTable& cameras) {
    if (!found_)
        return;
    for (int group = 0; group < 2; ++group) {
        GroupShares shares = SharesFor(cameras, group);
        HICAP50_bl_CaptureGroupSliceCtrl(group, shares.data());
    }
}

void THicap::Close() {
    HICAP50_no_CaptureVideoTransferOFF();
    HICAP50_no_BoardClose();
}

void THicap::QuerySignal(CameraFlags& signal) const {
    std::array<int32_t, kBoardChannels> flags{};
    if (!HICAP50_bl_CAMERA_SIGNAL(flags.data()))
        flags.fill(0);
    for (int ch = 0; ch < kBoardChannels; ++ch)
        signal[ch + 1].store(flags[ch] != 0 ? 1 : 0, std::memory_order_relaxed);
}

}  // namespace kel
