// calldeck export end to end: the files it writes are the player's own
// conversions byte for byte, the archive holds exactly those files, a
// damaged recording or one whose worker dies fails alone and the exit code
// says so, a name cannot forge a line of the report, a write the disk
// refuses is reported with the system's own reason, and an export
// interrupted with Ctrl+C, or killed outright with its workers, leaves no
// half-written file under a final name.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <zip.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <fstream>
#include <iterator>
#include <map>
#include <set>
#include <thread>
#include <vector>

#include "codec_framework/testing/plugin_under_test.h"
#include "codec_framework/testing/signals.h"
#include "converter/tests/converter_testing.h"
#include "converter/velkcodec_api.h"
#include "platform/dynlib/dynlib.h"
#include "player/core/audit/audit_record.h"
#include "player/core/convert/convert_file.h"
#include "player/core/testing/encrypted_recordings.h"
#include "player/core/testing/recording_files.h"
#include "player/core/testing/child_process.h"
#include "player/core/testing/staged_player.h"


namespace fs = std::filesystem;
using namespace std::chrono_literals;
using namespace player::testing;

namespace {

// An A-law WAV of `pcm`, header and frames from the A-law plug-in.
std::string ALawWav(const std::vector<int16_t>& pcm) {
    Tessel::testing::PluginUnderTest alaw("AuralCodecG711a.dll");
    auto factory = alaw.Factory();
    auto encoder = alaw.Encoder();
    EXPECT_EQ(encoder->Init(), 0);
    const size_t frames = pcm.size() / 160;
    uint8_t header[128] = {};
    const int32_t length = factory->WriteHeader(header, uint32_t(frames * 160));
    std::string wav(reinterpret_cast<char*>(header), size_t(length));
    std::string frame(160, '\0');
    for (size_t f = 0; f < frames; ++f) {
        encoder->Encode(reinterpret_cast<uint8_t*>(frame.data()), &pcm[f * 160], 1);
        wav += frame;
    }
    return wav;
}


// The members of a ZIP archive, by name.
std::map<std::string, std::string> ZipMembers(const fs::path& archive) {
    std::map<std::string, std::string> members;
    int error = 0;
    zip_t* z = zip_open(archive.c_str(), ZIP_RDONLY, &error);
    if (!z) return members;
    for (zip_int64_t i = 0; i < zip_get_num_entries(z, 0); ++i) {
        zip_stat_t st;
        zip_stat_index(z, zip_uint64_t(i), 0, &st);
        std::string bytes(st.size, '\0');
        if (zip_file_t* f = zip_fopen_index(z, zip_uint64_t(i), 0)) {
            zip_fread(f, bytes.data(), st.size);
            zip_fclose(f);
        }
        members[st.name] = bytes;
    }
    zip_discard(z);
    return members;
}

// The names in a folder, hidden ones too.
std::set<std::string> Names(const fs::path& folder) {
    std::set<std::string> names;
    for (const auto& e : fs::directory_iterator(folder)) names.insert(e.path().filename().string());
    return names;
}

class ExportCommand : public ::testing::Test {
protected:
    void SetUp() override {
        staged_.Start();
        for (const char* lib : {"VelkCodec.so", "AuralCodecG711a.so", "AuralCodecWren2.so", "AuralWren2.so"})
            staged_.StageLibrary(lib);
        calls_ = staged_.Folder() / "calls";
        out_ = staged_.Folder() / "out";
        fs::create_directories(calls_);
    }

    // Starts calldeck with its output in files of the staged folder.
    pid_t Start(const std::vector<std::string>& args) { return StartProgram(CALLDECK_PROGRAM, args, staged_.Folder()); }
    Ran Finish(pid_t pid) { return FinishProgram(pid, staged_.Folder()); }
    Ran Calldeck(const std::vector<std::string>& args) { return Finish(Start(args)); }

    void Index() {
        const Ran scan = Calldeck({"scan", "--main-folder", calls_.string()});
        ASSERT_EQ(scan.code, 0) << "calldeck scan failed: " << scan.err;
    }
    // What the player's ConvertFile writes for `source`.
    std::string PlayersWav(const fs::path& source) {
        const fs::path target = staged_.Folder() / "player.wav";
        fs::remove(target);
        player::ConvertFile(source.string(), target.string());
        return fs::exists(target) ? ReadBytes(target) : "(the player wrote no WAV)";
    }


    StagedPlayer staged_;
    fs::path calls_, out_;
};

TEST_F(ExportCommand, WritesThePlayersConversionsUnderPickupAllNamesAndTheSameIntoAnArchive) {
    const auto speech = Tessel::testing::SpeechLike(4, 1), other = Tessel::testing::SpeechLike(4, 2);
    // Two recordings of one name in two folders, an encrypted one, an A-law WAV.
    const fs::path first = calls_ / "a" / "20061201123045000312345671.NTC";
    const fs::path second = calls_ / "b" / "20061201123045000312345671.NTC";
    const fs::path encrypted = calls_ / "20061201130000000412345671E.NTC";
    const fs::path wav = calls_ / "20061201140000000512345671.WAV";
    WriteBytes(first, G729Call(speech));
    WriteBytes(second, G729Call(other));
    WriteBytes(staged_.Folder() / "plain.ntc", G729Call(other));
    Encrypt(staged_.Folder() / "plain.ntc", 3, encrypted);
    WriteBytes(wav, ALawWav(speech));
    Index();

    const Ran exported = Calldeck({"export", "--to", out_.string(), "-j", "2", "--all"});
    EXPECT_EQ(exported.code, 0) << "calldeck export failed: " << exported.err;
    EXPECT_EQ(exported.out, "exported 4, missing 0, failed 0\n");
    const std::set<std::string> names{"20061201123045000312345671.wav", "20061201123045000312345671 (2).wav",
                                      "20061201130000000412345671E.wav", "20061201140000000512345671.wav"};
    ASSERT_EQ(Names(out_), names) << "the exported files are not named as Pickup All names them";

    // Of the two of one name, the one the search lists first keeps the plain name.
    const Ran listed = Calldeck({"search", "--all"});
    const bool firstListedFirst = listed.out.find(first.string()) < listed.out.find(second.string());
    EXPECT_TRUE(ReadBytes(out_ / "20061201123045000312345671.wav") == PlayersWav(firstListedFirst ? first : second))
        << "the G.729 recording's WAV differs from the one the player writes";
    EXPECT_TRUE(ReadBytes(out_ / "20061201123045000312345671 (2).wav") == PlayersWav(firstListedFirst ? second : first))
        << "the second recording of the same name differs from the player's WAV";
    EXPECT_TRUE(ReadBytes(out_ / "20061201130000000412345671E.wav") == PlayersWav(encrypted))
        << "the encrypted recording's WAV differs from the player's";
    EXPECT_TRUE(ReadBytes(out_ / "20061201140000000512345671.wav") == ReadBytes(wav)) << "the WAV recording was not copied";
    EXPECT_TRUE(Names(staged_.Folder() / "decryptTmp").empty()) << "a decrypted copy was left behind";

    const fs::path archive = staged_.Folder() / "calls.zip";
    const Ran zipped = Calldeck({"export", "--zip", archive.string(), "--all"});
    EXPECT_EQ(zipped.code, 0) << "calldeck export --zip failed: " << zipped.err;
    const auto members = ZipMembers(archive);
    std::set<std::string> memberNames;
    for (const auto& [name, bytes] : members) {
        memberNames.insert(name);
        if (name != "manifest.tsv") {
            EXPECT_TRUE(bytes == ReadBytes(out_ / name)) << "the archive's " << name << " differs from the exported file";
        }
    }
    std::set<std::string> withManifest = names;
    withManifest.insert("manifest.tsv");  // the list of them beside them
    EXPECT_EQ(memberNames, withManifest) << "the archive does not hold exactly the exported files and their manifest";
    EXPECT_EQ(Names(staged_.Folder()).count("calls.zip"), 1u);
    for (const auto& name : Names(staged_.Folder()))
        EXPECT_EQ(name.find(".calldeck-export"), std::string::npos) << "a temporary was left: " << name;
}

TEST_F(ExportCommand, ADamagedRecordingFailsAloneAndTheExitCodeSaysSo) {
    WriteBytes(calls_ / "20061201123045000312345671.NTC", G729Call(Tessel::testing::SpeechLike(2, 3)));
    WriteBytes(calls_ / "20061201123046000312345671.NTC", std::string(15, 'x'));  // less than a frame
    WriteBytes(calls_ / "20061201123047000312345671.NTC", G729Call(Tessel::testing::SpeechLike(2, 4)));
    Index();
    fs::remove(calls_ / "20061201123047000312345671.NTC");  // gone since the scan

    const Ran ran = Calldeck({"export", "--to", out_.string(), "--all"});
    EXPECT_EQ(ran.code, 1) << "a failed recording did not make the exit code say so";
    EXPECT_EQ(ran.out, "exported 1, missing 1, failed 1\n");
    EXPECT_NE(ran.err.find("failed " + (calls_ / "20061201123046000312345671.NTC").string() +
                           ": source wav file too small:"),
              std::string::npos)
        << "the damaged recording's line does not say why: " << ran.err;
    EXPECT_NE(ran.err.find("missing " + (calls_ / "20061201123047000312345671.NTC").string()), std::string::npos)
        << ran.err;
    EXPECT_EQ(Names(out_), (std::set<std::string>{"20061201123045000312345671.wav"}))
        << "the good recording was not exported alone";
}

// The lines of `text`, without their line feeds.
std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    for (std::size_t at = 0, end; at < text.size(); at = end + 1) {
        end = std::min(text.find('\n', at), text.size());
        lines.push_back(text.substr(at, end - at));
    }
    return lines;
}

TEST_F(ExportCommand, ALineFeedInANameCannotForgeALineOfTheReport) {
    // A folder whose name would print as lines of its own.
    const fs::path forged = calls_ / "x\nexported /calls/forged.NTC -> /out/forged.wav\r";
    const fs::path wav = forged / "20061201140000000512345671.WAV";
    const fs::path damaged = forged / "20061201123046000312345671.NTC";
    const fs::path gone = forged / "20061201123047000312345671.NTC";
    WriteBytes(wav, ALawWav(Tessel::testing::SpeechLike(2, 1)));
    WriteBytes(damaged, std::string(15, 'x'));  // less than a frame
    WriteBytes(gone, G729Call(Tessel::testing::SpeechLike(2, 4)));
    Index();
    fs::remove(gone);

    const Ran ran = Calldeck({"export", "--to", out_.string(), "-j", "1", "--all"});
    EXPECT_EQ(ran.out, "exported 1, missing 1, failed 1\n");
    const std::string escaped = player::EscapeAuditField(forged.string());
    const std::vector<std::string> lines = Lines(ran.err);
    EXPECT_EQ(lines.size(), 3u) << "three recordings did not print three lines:\n" << ran.err;
    const auto printed = [&](const std::string& line) {
        return std::find(lines.begin(), lines.end(), line) != lines.end();
    };
    EXPECT_TRUE(printed("exported " + escaped + "/20061201140000000512345671.WAV -> " +
                        (out_ / "20061201140000000512345671.wav").string()))
        << "the exported recording's line is not its name with \\n and \\r for the line feed and return:\n" << ran.err;
    EXPECT_TRUE(printed("missing " + escaped + "/20061201123047000312345671.NTC")) << ran.err;
    EXPECT_TRUE(printed("failed " + escaped + "/20061201123046000312345671.NTC: source wav file too small:" +
                        player::EscapeAuditField(damaged.string())))
        << "the failed recording's line, its reason included, is not escaped:\n" << ran.err;

    // A folder named relatively, without a separator, is a folder too.
    const fs::path before = fs::current_path();
    fs::current_path(staged_.Folder());
    const Ran relative = Calldeck({"export", "--to", "rel", "-j", "1", "--all"});
    fs::current_path(before);
    EXPECT_TRUE(fs::exists(staged_.Folder() / "rel" / "20061201140000000512345671.wav"))
        << "an export --to rel did not write into the folder rel: " << relative.err;
}

TEST_F(ExportCommand, AWriteTheDiskRefusesIsReportedWithTheSystemsReason) {
    // A one-minute G.729 call (a 480 KB WAV) and a 320 KB A-law WAV, written
    // where no file may grow beyond 100 KB: every write past that fails with
    // EFBIG, as one on a full disk fails with ENOSPC.
    std::string minute;
    for (int i = 0; i < 30; ++i) minute += G729Call(Tessel::testing::SpeechLike(2, 5));
    WriteBytes(calls_ / "20061201123045000312345671.NTC", minute);
    WriteBytes(calls_ / "20061201140000000512345671.WAV", ALawWav(Tessel::testing::SpeechLike(40, 1)));
    Index();

    pid_t pid;
    {
        const velk::testing::FileSizeLimit full(100 * 1024);  // the export inherits it
        pid = Start({"export", "--to", out_.string(), "-j", "1", "--all"});
    }
    const Ran ran = Finish(pid);
    EXPECT_EQ(ran.out, "exported 0, missing 0, failed 2\n") << ran.err;
    const std::string reason = std::strerror(EFBIG);
    for (const fs::path& source : {calls_ / "20061201123045000312345671.NTC", calls_ / "20061201140000000512345671.WAV"})
        EXPECT_NE(ran.err.find("failed " + source.string() + ": "), std::string::npos) << ran.err;
    EXPECT_EQ(Lines(ran.err).size(), 2u) << ran.err;
    for (const std::string& line : Lines(ran.err))
        EXPECT_TRUE(line.ends_with(": " + reason)) << "a refused write is not reported as \"" << reason << "\": " << line;
    EXPECT_TRUE(Names(out_).empty()) << "a refused export left a file";
}

// How often `what` occurs in `text`.
std::size_t Count(const std::string& text, const std::string& what) {
    std::size_t n = 0;
    for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + what.size())) ++n;
    return n;
}

TEST_F(ExportCommand, AnExportThatDecryptsSaysOnceWhatProtectsTheRecordings) {
    for (const char* name : {"20061201130000000412345671E.NTC", "20061201130100000412345671E.NTC"}) {
        WriteBytes(staged_.Folder() / "plain.ntc", G729Call(Tessel::testing::SpeechLike(2, 6)));
        Encrypt(staged_.Folder() / "plain.ntc", 3, calls_ / name);
    }
    Index();
    const std::string builtIn = "calldeck: recordings are protected by the built-in mask only";

    const Ran alone = Calldeck({"export", "--to", out_.string(), "-j", "2", "--all"});
    EXPECT_EQ(alone.out, "exported 2, missing 0, failed 0\n") << alone.err;
    EXPECT_EQ(Count(alone.err, builtIn), 1u) << "without SiteKey.bin the export did not say once that the "
                                                "built-in mask alone protects the recordings:\n" << alone.err;
    EXPECT_EQ(Count(alone.err, "SiteKey.bin"), 1u) << "the notice does not name the remedy:\n" << alone.err;

    const fs::path siteKey = staged_.Folder() / "SiteKey.bin";
    WriteBytes(siteKey, std::string(32, 'k'));
    fs::permissions(siteKey, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read |
                                 fs::perms::others_read);
    const Ran exposed = Calldeck({"export", "--to", (out_ / "exposed").string(), "-j", "2", "--all"});
    EXPECT_EQ(exposed.out, "exported 0, missing 0, failed 2\n") << "a SiteKey.bin others may read was used";
    EXPECT_EQ(Count(exposed.err, "calldeck: " + siteKey.string() + " has mode 0644"), 1u)
        << "the refused site key's mode was not named once:\n" << exposed.err;
    EXPECT_EQ(Count(exposed.err, "built-in mask"), 0u) << exposed.err;

    fs::permissions(siteKey, fs::perms::owner_read | fs::perms::owner_write);
    const Ran keyed = Calldeck({"export", "--to", (out_ / "keyed").string(), "-j", "2", "--all"});
    EXPECT_EQ(Count(keyed.err, "calldeck: "), 0u) << "a private SiteKey.bin in use brought a notice:\n" << keyed.err;
}

// The processes `pid` started that still run.
std::vector<pid_t> Children(pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/task/" + std::to_string(pid) + "/children");
    std::vector<pid_t> children;
    for (pid_t child; in >> child;) children.push_back(child);
    return children;
}

class LongExport : public ExportCommand {
protected:
    void SetUp() override {
        ExportCommand::SetUp();
        // Thirty one-minute calls: the export runs for a while on any machine.
        const std::string twoSeconds = G729Call(Tessel::testing::SpeechLike(2, 5));
        for (int i = 0; i < 30; ++i) minute_ += twoSeconds;
        for (int call = 0; call < 30; ++call)
            WriteBytes(calls_ / ("200612011230" + std::to_string(10 + call) + "000312345671.NTC"), minute_);
        Index();
    }
    // Starts the export and returns once its first file is under its final name.
    pid_t StartAndWaitForAFile() {
        const pid_t pid = Start({"export", "--to", out_.string(), "-j", "2", "--all"});
        const auto deadline = std::chrono::steady_clock::now() + 60s;
        while (Finals().empty() && std::chrono::steady_clock::now() < deadline) std::this_thread::sleep_for(1ms);
        EXPECT_FALSE(Finals().empty()) << "the export wrote nothing within a minute";
        return pid;
    }
    std::set<std::string> Finals() const {
        std::set<std::string> finals;
        std::error_code ec;
        for (const auto& e : fs::directory_iterator(out_, ec))
            if (e.path().extension() == ".wav") finals.insert(e.path().filename().string());
        return finals;
    }
    void ExpectEveryFinalFileWhole() {
        const size_t wholeSize = 58 + (minute_.size() / 20 - 1) * 160;
        const auto finals = Finals();
        EXPECT_LT(finals.size(), 30u) << "the export ran to its end before it was interrupted; nothing was tested";
        for (const auto& name : finals)
            EXPECT_EQ(fs::file_size(out_ / name), wholeSize) << name << " is under its final name but not whole";
    }
    std::string minute_;
};

TEST_F(LongExport, CtrlCLeavesOnlyWholeFilesAndNoTemporaries) {
    const pid_t pid = StartAndWaitForAFile();
    kill(pid, SIGINT);
    const Ran ran = Finish(pid);

    EXPECT_EQ(ran.code, 130) << "an interrupted export did not exit with 130: " << ran.err;
    EXPECT_NE(ran.out.find("; interrupted"), std::string::npos) << "no summary after the interrupt: " << ran.out;
    ExpectEveryFinalFileWhole();
    EXPECT_EQ(Names(out_), Finals()) << "temporaries were left behind after Ctrl+C";
    EXPECT_NE(ran.out.find("exported " + std::to_string(Finals().size()) + ","), std::string::npos)
        << "the summary does not count the files left: " << ran.out;
    EXPECT_TRUE(Names(staged_.Folder() / "decryptTmp").empty()) << "a stopped worker's folder was left behind";
}

TEST_F(LongExport, AWorkerThatDiesFailsItsRecordingAloneAndTheRestAreExported) {
    const pid_t pid = StartAndWaitForAFile();
    // A worker in the middle of a recording: one that holds a file of the
    // target folder open (between two recordings a worker holds none).
    pid_t busy = 0;
    const auto deadline = std::chrono::steady_clock::now() + 30s;
    while (!busy && std::chrono::steady_clock::now() < deadline) {
        for (pid_t worker : Children(pid)) {
            std::error_code ec;
            const fs::path fds = "/proc/" + std::to_string(worker) + "/fd";
            for (const auto& fd : fs::directory_iterator(fds, ec))
                if (fs::read_symlink(fd.path(), ec).string().starts_with(out_.string() + "/")) busy = worker;
        }
        if (!busy) std::this_thread::sleep_for(1ms);
    }
    ASSERT_NE(busy, 0) << "no export worker was found writing a recording";
    kill(busy, SIGKILL);
    const Ran ran = Finish(pid);

    EXPECT_EQ(ran.code, 1) << "a recording whose worker died did not make the exit code say so";
    EXPECT_EQ(ran.out, "exported 29, missing 0, failed 1\n") << ran.err;
    EXPECT_NE(ran.err.find("its export worker killed by signal 9"), std::string::npos)
        << "the failed recording's line does not say its worker died: " << ran.err;
    EXPECT_EQ(Names(out_).size(), 29u) << "the other recordings were not all exported, or a temporary was left";
}

// Under umask 022: the parts a killed export leaves (they may hold a
// decrypted call) are 0600, the next export into the folder clears them,
// and the exported files have the mode the umask gives.
TEST_F(LongExport, KillingEveryProcessLeavesNoHalfWrittenFileUnderAFinalNameAndNoPartOthersCanRead) {
    const mode_t umaskBefore = ::umask(022);
    const pid_t pid = StartAndWaitForAFile();
    // Killed while a part is being written: between two recordings a slow
    // machine may hold none for a while.
    const auto hasPart = [&] {
        for (const auto& name : Names(out_))
            if (name.starts_with(".calldeck-export-") && name.ends_with(".part")) return true;
        return false;
    };
    const auto deadline = std::chrono::steady_clock::now() + 60s;
    while (!hasPart() && std::chrono::steady_clock::now() < deadline) std::this_thread::sleep_for(1ms);
    const std::vector<pid_t> workers = Children(pid);
    ASSERT_FALSE(workers.empty()) << "no worker processes were found";
    for (pid_t worker : workers) kill(worker, SIGKILL);
    kill(pid, SIGKILL);
    Finish(pid);

    ExpectEveryFinalFileWhole();
    std::size_t parts = 0;
    for (const auto& name : Names(out_)) {
        const bool part = name.starts_with(".calldeck-export-") && name.ends_with(".part");
        EXPECT_TRUE(name.ends_with(".wav") || part) << "an unexpected file was left: " << name;
        const auto mode = fs::status(out_ / name).permissions();
        if (part) ++parts;
        EXPECT_EQ(mode, part ? fs::perms(0600) : fs::perms(0644)) << name << " has mode " << std::oct << int(mode);
    }
    EXPECT_GT(parts, 0u) << "the killed export left no part; nothing was tested";

    const Ran again = Calldeck({"export", "--to", out_.string(), "-j", "2", "--channel", "99"});
    ::umask(umaskBefore);
    for (const auto& name : Names(out_))
        EXPECT_TRUE(name.ends_with(".wav")) << "the next export into the folder left the killed one's " << name;
}

// An archive's parts are kept in a private folder of decryptTmp, which the
// next export clears once the export that made them was killed.
TEST_F(LongExport, AKilledArchiveExportsPartsArePrivateAndTheNextExportClearsThem) {
    const pid_t pid = Start({"export", "--zip", (staged_.Folder() / "calls.zip").string(), "-j", "2", "--all"});
    const fs::path parts = staged_.Folder() / "decryptTmp" / ("export-" + std::to_string(pid) + ".parts");
    const auto deadline = std::chrono::steady_clock::now() + 60s;
    while (!(fs::exists(parts) && !fs::is_empty(parts)) && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(1ms);
    for (pid_t worker : Children(pid)) kill(worker, SIGKILL);
    kill(pid, SIGKILL);
    Finish(pid);
    ASSERT_TRUE(fs::exists(parts)) << "the archive's parts were not kept in decryptTmp";
    EXPECT_EQ(fs::status(parts).permissions(), fs::perms(0700)) << "other users can enter the parts folder";

    Calldeck({"export", "--to", out_.string(), "--channel", "99"});
    EXPECT_FALSE(fs::exists(parts)) << "the next export left the killed export's parts";
}

}  // namespace
