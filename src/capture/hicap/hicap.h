#pragma once
// The capture board library: its function set under the names the board maker gave it, calling
// the back end that was loaded by name (`--board NAME[:OPTIONS]`, the table in hicap.cpp ends
// with the simulated board `sim`; `stream:FILE` and `mix:FILE` read a map of network cameras,
// files and simulated cameras, stream_map.h).
//
// `_dw_` functions return a status (board_backend.h, 0 = success), `_bl_` ones true on success,
// `_no_` ones nothing. Without a loaded back end every call fails (kHicapNoBackend, false). A
// channel outside 0..15, a group outside 0..1, a missing record or output, or a picture format
// other than UYVY is refused before it reaches the back end. Any thread may call them.

#include <chrono>
#include <memory>
#include <string>
#include <string_view>

#include "capture/hicap/board_backend.h"

namespace kel {

uint32_t HICAP50_dw_CArTBDSearch(CArTBDRecord* board);
uint32_t HICAP50_dw_CArTBDDetailInfo(int32_t index, CArTBDDetail* detail);
uint32_t HICAP50_dw_BoardOpen(uint8_t selector, int32_t reserved, const int32_t* sizeModes);
uint32_t HICAP50_dw_BoardInit();
bool HICAP50_bl_BRIGHTNESSControl(int32_t channel, int32_t value);
bool HICAP50_bl_CONTRASTControl(int32_t channel, int32_t value);
bool HICAP50_bl_SHARPNESSControl(int32_t channel, int32_t value);
bool HICAP50_bl_SATURATIONUControl(int32_t channel, int32_t value);
bool HICAP50_bl_SATURATIONVControl(int32_t channel, int32_t value);
bool HICAP50_bl_HUEControl(int32_t channel, int32_t value);
// `shares` holds the group's 8 shares, its first channel first.
bool HICAP50_bl_CaptureGroupSliceCtrl(int32_t group, const int32_t* shares);
uint32_t HICAP50_dw_CaptureVideoTransferON();
void HICAP50_no_CaptureVideoTransferOFF();
void HICAP50_no_BoardClose();
// The channel's newest picture, held for the caller until the unlock. `mode` and `timeout` are
// carried for the board (the station passes 1 and 5). Unlock only after a successful lock.
uint32_t HICAP50_dw_LockWait4GetImageAddrEx(int32_t channel, uint8_t** address, uint32_t fourcc, int32_t mode,
                                            int32_t timeout);
void HICAP50_no_UnLockWait4GetImageAddr(int32_t channel);
// Not the board maker's: when the channel's next picture may be locked (board_backend.h); without
// a back end or for a channel outside 0..15, a moment soon.
std::chrono::steady_clock::time_point HicapNextPicture(int32_t channel);
// `signal` receives 16 values, channel 0 first; non-zero = a picture on the input.
bool HICAP50_bl_CAMERA_SIGNAL(int32_t* signal);
// Puts the channel on the board's monitor output.
bool HICAP50_bl_TVOUT(int32_t channel);

// Loading the library for a board named NAME[:OPTIONS]. A back end already loaded for the same
// name and options stays, as a loaded library would; any other replaces it.
// REQUIRES: no picture locked (no capture thread running) when the back end changes.
bool HicapLoad(std::string_view board, std::string& error);
// Whether HicapLoad would accept the board (the command line's check); loads nothing.
bool HicapCheckBoard(std::string_view board, std::string& error);
// Puts a back end of the caller's in place (tests, benchmarks). Same requirement as HicapLoad.
void HicapInstall(std::shared_ptr<BoardBackend> backend);
// Where the back ends (the one loaded and every later one) report what happens to their sources;
// null stops the reports.
void HicapSetReporter(BoardReporter reporter);
// The loaded back end, or null.
std::shared_ptr<BoardBackend> HicapBackend();

}  // namespace kel
