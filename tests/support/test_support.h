// Shared fixture pieces: a fresh RunState and host layer per test, and a
// private scratch folder.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "common/run_state.h"
#include "decode/decoder_state.h"
#include "platform/host/host_control.h"
#include "platform/host/host_faults.h"

// The message of the std::runtime_error that ACTION throws, or "(no error)".
std::string errorOf(const std::function<void()>& action);

// A scratch folder under the system's temporary folder, removed afterwards.
class ScratchDir {
public:
    ScratchDir();
    ~ScratchDir();
    const std::string& path() const { return path_; }
    std::string file(const std::string& name) const { return path_ + "/" + name; }
    void write(const std::string& name, const std::string& bytes) const;
    std::string read(const std::string& name) const;
    bool exists(const std::string& name) const;

private:
    std::string path_;
};

// A stand-in for the built stub: a DOS header with the stub's marker and the
// settings block at 512 in STAND_IN_STUB_SIZE bytes, with the archive behind
// them. Written as
// self.exe in the scratch folder and made the module path; returns its path.
const uint32_t STAND_IN_STUB_SIZE = 1200;
std::string writeStandInSelf(const ScratchDir& scratch, const SettingsBlock& block, const std::string& archive);

// Each test starts with the host layer reset and a zeroed RunState with the
// run flags at their defaults.
class RunTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
    ScratchDir scratch;
    DecoderState* d = nullptr;  // the run's decoder
};
