// Every recording becomes a WAV file: the converter each extension goes to,
// a real G.729 recording through VelkCodec, the failures an operator meets
// (a library missing, a start refused, a second request while one runs)
// and encrypted recordings.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <iterator>

#include "codec_framework/testing/plugin_under_test.h"
#include "codec_framework/testing/signals.h"
#include "converter/velkcodec_api.h"
#include "platform/dynlib/dynlib.h"
#include "player/core/convert/convert_file.h"
#include "player/core/convert/decrypt_file.h"
#include "player/core/testing/encrypted_recordings.h"
#include "player/core/testing/recording_files.h"
#include "player/core/testing/staged_player.h"

namespace fs = std::filesystem;
using namespace player;
using namespace player::testing;
using Lines = std::vector<std::string>;

namespace {

Lines ReadLines(const fs::path& file) {
    std::ifstream in(file);
    Lines out;
    for (std::string l; std::getline(in, l);) out.push_back(l);
    return out;
}

class Converting : public ::testing::Test {
protected:
    void SetUp() override {
        staged_.Start();
        calls_ = staged_.Folder() / "calls";
        fs::create_directories(calls_);
        setenv("STAND_IN_VOICECVT_LOG", (staged_.Folder() / "voicecvt.log").c_str(), 1);
        Process().ShowConvertProgress = [this](int p) { bar_.push_back(p); };
    }
    void TearDown() override { unsetenv("STAND_IN_VOICECVT_LOG"); }
    // The delivered conversion library and the two codecs of the player's conversion.
    void StageVelkCodec(bool withG729 = true) {
        staged_.StageLibrary("VelkCodec.so");
        staged_.StageLibrary("AuralCodecG711a.so");
        if (withG729) {
            staged_.StageLibrary("AuralCodecWren2.so");
            staged_.StageLibrary("AuralWren2.so");
        }
    }
    void StageVoiceCvt() { staged_.StageLibrary("StandInVoiceCvt.so", "VoiceCvt.so"); }
    Lines VoiceCvtCalls() const { return ReadLines(staged_.Folder() / "voicecvt.log"); }
    StagedPlayer staged_;
    fs::path calls_;
    std::vector<int> bar_;
};



}  // namespace

TEST_F(Converting, EveryExtensionGoesToItsConverter) {
    StageVoiceCvt();
    WriteBytes(calls_ / "a.wav", "RIFF-a-wav-recording");
    ConvertFile("  " + (calls_ / "a.wav").string() + "  ", (calls_ / "a-out.wav").string());
    EXPECT_EQ(ReadBytes(calls_ / "a-out.wav"), "RIFF-a-wav-recording") << "a WAV recording is copied unchanged";
    EXPECT_TRUE(bar_.empty()) << "copying a WAV recording moved the progress bar";
    EXPECT_TRUE(VoiceCvtCalls().empty());

    const struct {
        const char* name;
        const char* type;
    } voice[] = {{"b.voc", "0"}, {"c.VC2", "1"}, {"d.vc5", "4"}};
    for (const auto& v : voice) {
        WriteBytes(calls_ / v.name, "coded");
        fs::remove(staged_.Folder() / "voicecvt.log");
        ConvertFile((calls_ / v.name).string(), (calls_ / "out.wav").string());
        const std::string start = "start " + std::string(v.type) + " 1.0 " + (calls_ / v.name).string() + " " +
                                  (calls_ / "out.wav").string();
        EXPECT_EQ(VoiceCvtCalls(), (Lines{"init", start, "progress 50", "progress 100", "stop"}))
            << v.name << " did not go through VoiceCvt as type " << v.type;
    }
    EXPECT_EQ(bar_.back(), 100) << "the progress bar does not rest at 100";

    WriteBytes(calls_ / "e.xyz", "?");
    fs::remove(staged_.Folder() / "voicecvt.log");
    ConvertFile((calls_ / "e.xyz").string(), (calls_ / "e.wav").string());
    ConvertFile((calls_ / "missing.voc").string(), (calls_ / "m.wav").string());
    EXPECT_FALSE(fs::exists(calls_ / "e.wav") || fs::exists(calls_ / "m.wav"));
    EXPECT_TRUE(VoiceCvtCalls().empty()) << "an unknown or missing recording reached a converter";
    EXPECT_FALSE(Process().IsConverting);
    EXPECT_EQ(Process().ConvertingType, "");
}

TEST_F(Converting, AG729RecordingBecomesAnALawWaveOfTheSameSpeech) {
    StageVelkCodec();
    const auto speech = Tessel::testing::SpeechLike(3.0, 7);
    WriteBytes(calls_ / "call.NTC", G729Call(speech));
    ConvertFile((calls_ / "call.NTC").string(), (calls_ / "call.wav").string());
    const std::string wav = ReadBytes(calls_ / "call.wav");
    const size_t frames = speech.size() / 160 - 1;  // the first frame is not converted
    ASSERT_EQ(wav.size(), 58 + frames * 160) << "no A-law WAV of the recording's length was written";
    EXPECT_EQ(wav.substr(0, 4), "RIFF");
    EXPECT_EQ(uint8_t(wav[20]), 6) << "the WAV is not A-law (format tag 6)";
    std::vector<int16_t> heard;
    for (size_t i = 58; i < wav.size(); ++i) heard.push_back(ALawToLinear(uint8_t(wav[i])));
    const std::span<const int16_t> said(speech.data() + 160, heard.size());
    const int lag = Tessel::testing::BestLag(said, heard, 80);
    EXPECT_GT(Tessel::testing::Correlation(said, heard, lag), 0.7) << "the WAV does not say what the call said";
    EXPECT_EQ(bar_.back(), 100);
    EXPECT_FALSE(Process().IsConverting);
}

TEST_F(Converting, AMissingLibraryOrARefusedStartIsLoggedAndEndsAtOnce) {
    WriteBytes(calls_ / "a.VC8", std::string(2000, 'x'));
    WriteBytes(calls_ / "b.VOC", "coded");
    ConvertFile((calls_ / "a.VC8").string(), (calls_ / "a.wav").string());
    ConvertFile((calls_ / "b.VOC").string(), (calls_ / "b.wav").string());

    StageVelkCodec(/*withG729=*/false);
    StageVoiceCvt();
    WriteBytes(calls_ / "refused.VC2", "coded");
    const auto t0 = std::chrono::steady_clock::now();
    const Outcome refusedCodec = ConvertFile((calls_ / "a.VC8").string(), (calls_ / "a.wav").string());
    ConvertFile((calls_ / "refused.VC2").string(), (calls_ / "r.wav").string());
    EXPECT_EQ(refusedCodec.reason, "can't load DLL:AuralCodecWren2.dll")
        << "the conversion's outcome does not say what its log line says";
    EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::seconds(10))
        << "a start the library refused was waited for";
    EXPECT_EQ(staged_.LogMessages(),
              (Lines{"!ConvertFile File not found: VelkCodec.dll", "!ConvertFile File not found: VoiceCvt.dll",
                     "!ConvertFile can't load DLL:AuralCodecWren2.dll",
                     "!ConvertFile VoiceCvt.dll refused to convert [" + (calls_ / "refused.VC2").string() +
                         "]: gain is negative or not a number, return = -3"}));
    EXPECT_FALSE(fs::exists(calls_ / "a.wav") || fs::exists(calls_ / "r.wav"));
    EXPECT_FALSE(Process().IsConverting);
}

TEST_F(Converting, ASecondRequestWhileOneRunsIsRefused) {
    StageVoiceCvt();
    WriteBytes(calls_ / "a.VOC", "first");
    WriteBytes(calls_ / "b.VOC", "second");
    bool asked = false;
    Process().PumpEvents = [&] {
        if (asked) return;
        asked = true;  // an operator's second click while the first converts
        ConvertFile((calls_ / "b.VOC").string(), (calls_ / "b.wav").string());
    };
    ConvertFile((calls_ / "a.VOC").string(), (calls_ / "a.wav").string());
    EXPECT_TRUE(fs::exists(calls_ / "a.wav"));
    EXPECT_FALSE(fs::exists(calls_ / "b.wav")) << "a second conversion started beside the first";
    EXPECT_EQ(staged_.LogMessages(), Lines{"!ConvertFile a conversion is running already; [" +
                                           (calls_ / "b.VOC").string() + "] is not converted"});
}

TEST_F(Converting, EncryptedRecordingsAreMarkedByAnUpperCaseEAndRefusedWhenTheyCannotBeDecrypted) {
    WriteBytes(calls_ / "0012345E.WAV", "x");
    WriteBytes(calls_ / "0012345e.WAV", "x");
    WriteBytes(calls_ / "0012345E.VOC", "x");
    EXPECT_TRUE(IsEncryptedFile((calls_ / "0012345E.WAV").string()));
    EXPECT_FALSE(IsEncryptedFile((calls_ / "0012345e.WAV").string())) << "a lower-case e counts as encrypted";
    EXPECT_FALSE(IsEncryptedFile((calls_ / "0099999E.WAV").string())) << "a missing file counts as encrypted";

    const std::string missing = (calls_ / "0099999E.WAV").string();
    // Each refusal gives no copy and says why, as its log line does.
    EXPECT_EQ(DecryptFile(missing).reason, "the recording is gone");
    EXPECT_EQ(DecryptFile((calls_ / "0012345E.VOC").string()).reason, ".VOC recordings are not decrypted");
    const Decrypted unbound = DecryptFile((calls_ / "0012345E.WAV").string());
    EXPECT_FALSE(unbound.ok()) << "decrypted without VelkCodec";
    EXPECT_EQ(unbound.reason, "File not found: VelkCodec.dll");
    EXPECT_EQ(DecryptFile((calls_ / "0012345E.WAV").string()).path, "");
    Lines said = staged_.LogMessages();
    ASSERT_EQ(said.size(), 5u) << "the log after four refused decryptions";
    EXPECT_TRUE(said[2].starts_with("recordings are protected by the built-in mask only"))
        << "the first decryption without a site key did not say what protects the recordings: " << said[2];
    said.erase(said.begin() + 2);
    const std::string noLibrary = "!DecryptFile File not found: VelkCodec.dll file = " + (calls_ / "0012345E.WAV").string();
    EXPECT_EQ(said, (Lines{"file loss , path = " + missing,
                           "unknow source file type , path = " + (calls_ / "0012345E.VOC").string(), noLibrary,
                           noLibrary}))
        << "what protects the recordings is said more than once a run";
}

TEST_F(Converting, AnEncryptedRecordingIsDecryptedConvertedAndItsCopyDeleted) {
    StageVelkCodec();
    const auto speech = Tessel::testing::SpeechLike(1.0, 3);
    WriteBytes(calls_ / "plain.ntc", G729Call(speech));
    Encrypt(calls_ / "plain.ntc", 3, calls_ / "0012345E.NTC", player::testing::kPlayersMask);
    Encrypt(calls_ / "plain.ntc", 3, calls_ / "0099999E.NTC", "another site's mask");
    ConvertFile((calls_ / "0012345E.NTC").string(), (calls_ / "call.wav").string());
    EXPECT_EQ(fs::file_size(calls_ / "call.wav"), 58 + (speech.size() / 160 - 1) * 160)
        << "the encrypted recording was not decrypted and converted";
    EXPECT_TRUE(fs::is_empty(staged_.Folder() / "decryptTmp")) << "the decrypted copy was left behind";

    ConvertFile((calls_ / "0099999E.NTC").string(), (calls_ / "other.wav").string());
    EXPECT_FALSE(fs::exists(calls_ / "other.wav"));
    const Lines log = staged_.LogMessages();
    ASSERT_FALSE(log.empty());
    EXPECT_EQ(log.back().rfind("can not decrypt file , path = " + (calls_ / "0099999E.NTC").string() + " , return = ", 0),
              0u)
        << "a recording encrypted with another mask was not reported: " << log.back();
}

TEST_F(Converting, AFailureAfterTheDecryptionLeavesNoDecryptedCopy) {
    StageVelkCodec(/*withG729=*/false);
    WriteBytes(calls_ / "plain.wav", ALawWavHeader(1600) + std::string(1600, '\x55'));
    Encrypt(calls_ / "plain.wav", 0, calls_ / "0012345E.WAV", player::testing::kPlayersMask);
    // The copy to a folder that does not exist fails after the recording was decrypted.
    ConvertFile((calls_ / "0012345E.WAV").string(), (calls_ / "no such folder" / "call.wav").string());
    const Lines log = staged_.LogMessages();
    ASSERT_FALSE(log.empty());
    EXPECT_EQ(log.back().rfind("!ConvertFile ", 0), 0u) << "the failed copy was not reported: " << log.back();
    std::vector<std::string> left;
    for (const auto& entry : fs::directory_iterator(staged_.Folder() / "decryptTmp"))
        left.push_back(entry.path().filename().string());
    EXPECT_TRUE(left.empty()) << "a failed conversion left the decrypted plaintext behind: " << ::testing::PrintToString(left);
    EXPECT_FALSE(Process().IsConverting);
}

TEST_F(Converting, PlaintextAKilledProgramLeftIsRemovedAtTheNextStartAndCopiesInUseAreKept) {
    const fs::path tmp = staged_.Folder() / "decryptTmp";
    const auto longAgo = fs::file_time_type::clock::now() - std::chrono::hours(1);
    WriteBytes(tmp / "dec_0012345E_20240506120000N.WAV", "left by a killed player");
    fs::last_write_time(tmp / "dec_0012345E_20240506120000N.WAV", longAgo);
    WriteBytes(tmp / "dec_0012346E_20240506123000N.NTC", "being converted right now");
    const pid_t gone = ::fork();
    if (gone == 0) _exit(0);
    ::waitpid(gone, nullptr, 0);
    WriteBytes(tmp / ("export-" + std::to_string(gone)) / "dec_1E_20240506120000N.NTC", "left by a killed export worker");
    WriteBytes(tmp / ("export-" + std::to_string(::getpid())) / "dec_2E_20240506120000N.NTC", "a running worker's");

    EXPECT_EQ(RemoveLeftoverCopies(), 2);
    EXPECT_FALSE(fs::exists(tmp / "dec_0012345E_20240506120000N.WAV")) << "an old decrypted copy was left readable";
    EXPECT_FALSE(fs::exists(tmp / ("export-" + std::to_string(gone)))) << "a dead worker's copies were left";
    EXPECT_TRUE(fs::exists(tmp / "dec_0012346E_20240506123000N.NTC")) << "a copy a conversion may be reading went";
    EXPECT_TRUE(fs::exists(tmp / ("export-" + std::to_string(::getpid())))) << "a running worker's folder went";
    EXPECT_EQ(staged_.LogMessages().back(), "Removed 2 decrypted copies left by an earlier run");
}
