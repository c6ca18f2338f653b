// Transcription scores on hand-made cases worked out by hand, and the
// reading of the note files, whole or refused.
#include "tools/evaluate.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "common/midifile.h"
#include "tests/support/process.h"
#include "tests/support/tempdir.h"

namespace sonvola {
namespace {

TEST(Evaluate, PerfectEstimateScoresOne) {
    const std::vector<EvalNote> ref{{0.0, 0.5, 60}, {0.5, 1.0, 62}};
    const EvalScores s = evaluateNotes(ref, ref, {});
    EXPECT_EQ(s.matched, 2);
    EXPECT_DOUBLE_EQ(s.f1, 1.0);
}

TEST(Evaluate, OnsetAndPitchTolerances) {
    const std::vector<EvalNote> ref{{1.0, 2.0, 60}};
    EXPECT_EQ(evaluateNotes(ref, {{1.05, 2.0, 60}}, {}).matched, 1);   // 50 ms: in
    EXPECT_EQ(evaluateNotes(ref, {{1.051, 2.0, 60}}, {}).matched, 0);  // 51 ms: out
    EXPECT_EQ(evaluateNotes(ref, {{1.0, 2.0, 60.5}}, {}).matched, 1);  // 50 cents: in
    EXPECT_EQ(evaluateNotes(ref, {{1.0, 2.0, 61}}, {}).matched, 0);
}

TEST(Evaluate, OffsetsWithinTwentyPercentOrFiftyMilliseconds) {
    EvalTolerances t;
    t.offsets = true;
    // A 2 s note: offsets within 0.4 s.
    EXPECT_EQ(evaluateNotes({{0.0, 2.0, 60}}, {{0.0, 2.39, 60}}, t).matched, 1);
    EXPECT_EQ(evaluateNotes({{0.0, 2.0, 60}}, {{0.0, 2.41, 60}}, t).matched, 0);
    // A 0.1 s note: 50 ms, not 20 ms.
    EXPECT_EQ(evaluateNotes({{0.0, 0.1, 60}}, {{0.0, 0.14, 60}}, t).matched, 1);
}

TEST(Evaluate, OneToOneMaximumMatching) {
    // Two reference notes close together, two estimates: greedy pairing of
    // the first estimate with the first reference would leave the second
    // reference without a partner; the maximum matching pairs both.
    const std::vector<EvalNote> ref{{1.00, 2, 60}, {1.06, 2, 60}};
    const std::vector<EvalNote> est{{1.03, 2, 60}, {0.98, 2, 60}};
    const EvalScores s = evaluateNotes(ref, est, {});
    EXPECT_EQ(s.matched, 2);
    // One estimate cannot count for two references.
    const EvalScores one = evaluateNotes(ref, {{1.03, 2, 60}}, {});
    EXPECT_EQ(one.matched, 1);
    EXPECT_DOUBLE_EQ(one.precision, 1.0);
    EXPECT_DOUBLE_EQ(one.recall, 0.5);
    EXPECT_NEAR(one.f1, 2.0 / 3.0, 1e-12);
}

TEST(Evaluate, ScoresOfAWorkedCase) {
    // Reference: 4 notes. Estimate: 3 right (one of them an octave ghost
    // pair: the ghost is wrong) and 2 wrong: precision 3/5, recall 3/4.
    const std::vector<EvalNote> ref{{0, 1, 60}, {1, 2, 62}, {2, 3, 64}, {3, 4, 65}};
    const std::vector<EvalNote> est{
        {0.01, 1, 60}, {0.01, 1, 72}, {1.02, 2, 62}, {2.04, 3, 64}, {3.2, 4, 65}};
    const EvalScores s = evaluateNotes(ref, est, {});
    EXPECT_EQ(s.matched, 3);
    EXPECT_DOUBLE_EQ(s.precision, 0.6);
    EXPECT_DOUBLE_EQ(s.recall, 0.75);
    EXPECT_NEAR(s.f1, 2 * 0.6 * 0.75 / 1.35, 1e-12);
    EXPECT_EQ(evaluateNotes({}, {}, {}).f1, 0.0);
}

TEST(Evaluate, MatchingOnAGraph) {
    EXPECT_EQ(maximumMatching({{0, 1}, {0}, {1}}, 2), 2);
    EXPECT_EQ(maximumMatching({{}, {}}, 3), 0);
}

TEST(Evaluate, ReadsTextListsAndMidi) {
    test::TempDir dir;
    test::writeFile(dir.file("n.txt"), "# onset offset key\n0.5 1.0 69 A4\n\n1.0 1.5 71\n");
    Result<std::vector<EvalNote>> notes = readNotes(dir.file("n.txt"));
    ASSERT_TRUE(notes.ok()) << notes.message();
    ASSERT_EQ(notes->size(), 2u);
    EXPECT_EQ((*notes)[0].pitch, 69);
    test::writeFile(dir.file("bad.txt"), "0.5 x 69\n");
    const Result<std::vector<EvalNote>> bad = readNotes(dir.file("bad.txt"));
    EXPECT_FALSE(bad.ok());
    EXPECT_NE(bad.message().find("bad.txt:1"), std::string::npos);
    const unsigned char mid[] = {'M',  'T',  'h',  'd',  0,    0,    0,    6,    0,
                                 1,    0,    1,    0x01, 0xE0, 'M',  'T',  'r',  'k',
                                 0,    0,    0,    13,   0x60, 0x91, 0x45, 0x5A, 0x83,
                                 0x60, 0x91, 0x45, 0x00, 0x00, 0xFF, 0x2F, 0x00};
    test::writeFile(dir.file("a.mid"), std::string(reinterpret_cast<const char*>(mid), sizeof mid));
    notes = readNotes(dir.file("a.mid"));
    ASSERT_TRUE(notes.ok()) << notes.message();
    ASSERT_EQ(notes->size(), 1u);
    EXPECT_NEAR((*notes)[0].onset, 0.1, 1e-9);
    EXPECT_NEAR((*notes)[0].offset, 0.6, 1e-9);
    EXPECT_FALSE(readNotes(dir.file("none.mid")).ok());
}

using Bytes = std::vector<uint8_t>;

// A format-1 file of 480 ticks per quarter: a tempo track (120 bpm) and a
// track with key 69 from tick 96 to 576 (0.1 s to 0.6 s).
Bytes twoTrackMidi() {
    return {'M',  'T',  'h',  'd',  0,    0,    0,    6,    0,    1,    0,    2,    0x01, 0xE0,
            'M',  'T',  'r',  'k',  0,    0,    0,    11,   0x00, 0xFF, 0x51, 0x03, 0x07, 0xA1,
            0x20, 0x00, 0xFF, 0x2F, 0x00, 'M',  'T',  'r',  'k',  0,    0,    0,    13,   0x60,
            0x91, 0x45, 0x5A, 0x83, 0x60, 0x91, 0x45, 0x00, 0x00, 0xFF, 0x2F, 0x00};
}

std::string text(const Bytes& bytes) {
    return std::string(bytes.begin(), bytes.end());
}

// readNotes on `bytes` written to `name`: the error, or "" when it was read.
std::string readError(const test::TempDir& dir, const std::string& name, const std::string& bytes,
                      std::vector<EvalNote>* notesOut = nullptr) {
    test::writeFile(dir.file(name), bytes);
    const Result<std::vector<EvalNote>> notes = readNotes(dir.file(name));
    if (notes) {
        if (notesOut) *notesOut = *notes;
        return "";
    }
    return notes.message().empty() ? "(refused without a reason)" : notes.message();
}

TEST(EvaluateMidi, CompleteFileIsRead) {
    test::TempDir dir;
    std::vector<EvalNote> notes;
    ASSERT_EQ(readError(dir, "a.mid", text(twoTrackMidi()), &notes), "");
    ASSERT_EQ(notes.size(), 1u);
    EXPECT_EQ(notes[0].pitch, 69);
    EXPECT_NEAR(notes[0].onset, 0.1, 1e-9);
    EXPECT_NEAR(notes[0].offset, 0.6, 1e-9);
    // A header announcing no tracks, and none: a whole, empty file.
    Bytes none = twoTrackMidi();
    none.resize(14);
    none[11] = 0;
    EXPECT_EQ(readError(dir, "none.mid", text(none), &notes), "");
    EXPECT_TRUE(notes.empty());
}

TEST(EvaluateMidi, FileCutAnywhereIsRefused) {
    test::TempDir dir;
    const Bytes whole = twoTrackMidi();
    for (size_t length = 0; length < whole.size(); ++length) {
        const std::string error =
            readError(dir, "cut.mid", text(Bytes(whole.begin(), whole.begin() + length)));
        EXPECT_NE(error, "") << "cut at " << length << " bytes was read";
        EXPECT_EQ(error.find(dir.file("cut.mid")), 0u) << error;
    }
    EXPECT_EQ(readError(dir, "e.mid", ""), dir.file("e.mid") + ": empty file");
    EXPECT_NE(readError(dir, "m.mid", "MTh").find("ends inside the MThd header (3 of 14"),
              std::string::npos);
    EXPECT_NE(readError(dir, "m1.mid", "M").find("MThd"), std::string::npos);
    // The header alone, and the header with the first of its two tracks.
    EXPECT_NE(readError(dir, "h.mid", text(Bytes(whole.begin(), whole.begin() + 14)))
                  .find("announces 2 tracks but the file holds 0"),
              std::string::npos);
    EXPECT_NE(readError(dir, "t.mid", text(Bytes(whole.begin(), whole.begin() + 33)))
                  .find("announces 2 tracks but the file holds 1"),
              std::string::npos);
    EXPECT_NE(readError(dir, "c.mid", text(Bytes(whole.begin(), whole.end() - 1)))
                  .find("track 1 is longer than the file"),
              std::string::npos);
}

TEST(EvaluateMidi, TracksMustCloseAndTimesMustBeTicks) {
    test::TempDir dir;
    // The note track without its FF 2F 00 (the length says so too).
    Bytes open = twoTrackMidi();
    open.resize(open.size() - 4);
    open[40] = 9;
    EXPECT_NE(readError(dir, "o.mid", text(open)).find("track 1 has no end-of-track event"),
              std::string::npos);
    // FF 2F with a data byte is no end of track.
    Bytes withData = twoTrackMidi();
    withData[40] = 14;
    withData.back() = 0x01;
    withData.push_back(0x00);
    EXPECT_NE(readError(dir, "d.mid", text(withData)).find("end-of-track event with data"),
              std::string::npos);
    // One track more than announced.
    Bytes extra = twoTrackMidi();
    extra[11] = 1;
    EXPECT_NE(readError(dir, "x.mid", text(extra)).find("announces 1 track but the file holds 2"),
              std::string::npos);
    Bytes zero = twoTrackMidi();
    zero[12] = zero[13] = 0;
    EXPECT_NE(readError(dir, "z.mid", text(zero)).find("0 ticks per quarter"), std::string::npos);
    Bytes smpte = twoTrackMidi();
    smpte[12] = 0xE7;  // -25 frames per second
    smpte[13] = 40;
    EXPECT_NE(readError(dir, "s.mid", text(smpte)).find("SMPTE"), std::string::npos);
}

TEST(EvaluateMidi, PartialFileStillParsesForALook) {
    // parseMidi reads the complete tracks of a half-written file; whether the
    // file is whole is the second question.
    const Bytes whole = twoTrackMidi();
    Result<MidiFile> f = parseMidi(Bytes(whole.begin(), whole.begin() + 33));
    ASSERT_TRUE(f.ok()) << f.message();
    EXPECT_EQ(f->trackCount, 2);
    EXPECT_EQ(f->tracksRead, 1);
    const Status cut = midiTracksComplete(*f);
    EXPECT_FALSE(cut.ok());
    EXPECT_EQ(cut.message(), "the header announces 2 tracks but the file holds 1 (cut short?)");
    Result<MidiFile> g = parseMidi(whole);
    ASSERT_TRUE(g.ok()) << g.message();
    EXPECT_TRUE(midiTracksComplete(*g).ok());
    Result<MidiFile> h = parseMidi(Bytes(whole.begin(), whole.begin() + 20));
    EXPECT_FALSE(h.ok());
    EXPECT_EQ(h.message(), "the file ends inside the chunk header at byte 14");
}

TEST(EvaluateText, WordsThatAreNotPlainNumbersAreRefused) {
    test::TempDir dir;
    struct Case {
        std::string line;
        std::string message;
    };
    const Case cases[] = {
        {"0.5 1.0 60abc", "pitch \"60abc\" is not a number"},
        {"0.5 1.0 1O0", "pitch \"1O0\" is not a number"},
        {"0.5 1.0 128abc", "pitch \"128abc\" is not a number"},
        {"0.5 1.0 0x3C", "pitch \"0x3C\" is not a number"},
        {"0.5 1.0 60,5", "pitch \"60,5\" is not a number"},
        {"5abc 6 60", "onset \"5abc\" is not a number"},
        {"0 1O0 60", "offset \"1O0\" is not a number"},
        {"nan 1 60", "onset \"nan\" is not a finite number"},
        {"0 inf 60", "offset \"inf\" is not a finite number"},
        {"0 1 -infinity", "pitch \"-infinity\" is not a finite number"},
        {"0 1e999 60", "offset \"1e999\" is out of range"},
        {"0 +-1 60", "offset \"+-1\" is not a number"},
        {"0 1 6\x01", "pitch \"6\\x01\" is not a number"},
        {"0 1", "not \"onset offset pitch\""},
    };
    for (const Case& c : cases) {
        const std::string error =
            readError(dir, "n.txt", "# onset offset pitch\n0 1 60\r\n" + c.line + "\r\n2 3 62\n");
        EXPECT_EQ(error, dir.file("n.txt") + ":3: " + c.message) << c.line;
    }
}

TEST(EvaluateText, TimesAndKeysOutOfRangeAreRefused) {
    test::TempDir dir;
    const std::string where = dir.file("n.txt") + ":2: ";
    const auto error = [&](const std::string& line) {
        return readError(dir, "n.txt", "0 1 60\n" + line + "\n");
    };
    EXPECT_EQ(error("-0.1 1 60"), where + "onset -0.1 is negative");
    EXPECT_EQ(error("1 0.5 60"), where + "offset 0.5 is before onset 1");
    EXPECT_EQ(error("0 1 128"), where + "pitch 128 is outside the MIDI keys 0..127");
    EXPECT_EQ(error("0 1 127.5"), where + "pitch 127.5 is outside the MIDI keys 0..127");
    EXPECT_EQ(error("0 1 -1"), where + "pitch -1 is outside the MIDI keys 0..127");
    // The edges themselves are fine: a note of no length, keys 0 and 127.
    EXPECT_EQ(error("1 1 0"), "");
    EXPECT_EQ(error("0 1 127"), "");
}

TEST(EvaluateText, ByteOrderMarkCrLfCommentsAndExtraColumns) {
    test::TempDir dir;
    std::vector<EvalNote> notes;
    ASSERT_EQ(readError(dir, "n.txt",
                        "\xEF\xBB\xBF# onset offset key\r\n0.5\t1.0 69 A4 90\r\n\r\n"
                        "  +1e0 1.5 71.25 # B4, a little sharp\r\n-0 .5 0",
                        &notes),
              "");
    ASSERT_EQ(notes.size(), 3u);
    EXPECT_EQ(notes[0].onset, 0.5);
    EXPECT_EQ(notes[0].pitch, 69);
    EXPECT_EQ(notes[1].onset, 1.0);
    EXPECT_EQ(notes[1].offset, 1.5);
    EXPECT_EQ(notes[1].pitch, 71.25);
    EXPECT_EQ(notes[2].offset, 0.5);
    // A byte-order mark anywhere else is no blank.
    EXPECT_EQ(readError(dir, "b.txt",
                        "0 1 60\n\xEF\xBB\xBF"
                        "1 2 62\n"),
              dir.file("b.txt") + ":2: onset \"\\xEF\\xBB\\xBF1\" is not a number");
}

TEST(EvaluateText, EmptyFileIsRefusedButAnEmptyListIsNot) {
    test::TempDir dir;
    EXPECT_EQ(readError(dir, "e.txt", ""), dir.file("e.txt") + ": empty file");
    std::vector<EvalNote> notes;
    EXPECT_EQ(readError(dir, "c.txt", "# no notes in this recording\n\n", &notes), "");
    EXPECT_TRUE(notes.empty());
    EXPECT_EQ(readError(dir, "bom.txt", "\xEF\xBB\xBF\r\n", &notes), "");
    EXPECT_NE(readError(dir, "sub/none.txt", "").find("cannot open"), std::string::npos);
    const Result<std::vector<EvalNote>> folder = readNotes(dir.path());
    EXPECT_FALSE(folder.ok());
    EXPECT_EQ(folder.message(), dir.path() + " is a folder");
}

TEST(EvaluateProgram, ExitStatusSaysWhatHappened) {
    const std::string eval = test::binPath("sonvola-eval");
    ASSERT_TRUE(test::fileExists(eval)) << "build the sonvola-eval target first";
    test::TempDir dir;
    test::writeFile(dir.file("r.txt"), "0 1 60\n1 2 62\n");
    test::writeFile(dir.file("e.txt"), "0.01 1 60\n");
    Bytes header = twoTrackMidi();
    header.resize(14);
    test::writeFile(dir.file("h.mid"), text(header));
    test::writeFile(dir.file("z.txt"), "");

    test::ProcessResult r = test::runProcess(eval, {eval, dir.file("r.txt"), dir.file("e.txt")});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.out.find("reference notes: 2, estimated notes: 1"), std::string::npos) << r.out;

    r = test::runProcess(eval, {eval, dir.file("r.txt"), dir.file("h.mid")});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "sonvola-eval: " + dir.file("h.mid") +
                         ": the header announces 2 tracks but the file holds 0 (cut short?)\n");
    r = test::runProcess(eval, {eval, dir.file("z.txt"), dir.file("r.txt")});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err, "sonvola-eval: " + dir.file("z.txt") + ": empty file\n");

    r = test::runProcess(eval, {eval, dir.file("r.txt")});
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err.rfind("usage: sonvola-eval REFERENCE ESTIMATE\n", 0), 0u) << r.err;
    r = test::runProcess(eval, {eval, "--help", dir.file("r.txt")});
    EXPECT_EQ(r.exitCode, 2);
    r = test::runProcess(eval, {eval, "--help"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out.rfind("usage: sonvola-eval REFERENCE ESTIMATE\n", 0), 0u) << r.out;
}

}  // namespace
}  // namespace sonvola
