#include "common/scoretext.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "tests/support/streams.h"

namespace sonvola {
namespace {

using test::slurp;

std::string scoreText(const std::vector<NoteRecord>& notes, const ScoreArguments& args = {}) {
    std::FILE* out = std::tmpfile();
    writeScore(out, notes, buildScoreEvents(notes), args);
    return slurp(out);
}

const std::string kConductor = "tracks 2\n\ntrack{\n0   tempo 120\n0   rhythm 4 / 4\n}\n\n";

TEST(Score, OneNote) {
    EXPECT_EQ(scoreText({{100, 600, 90, "a-3"}}),
              kConductor + "track{\n0   tone 1\n100   a-3 90\n500   a-3 0\n}\n");
}

TEST(Score, TwoNotesAtZeroAndEndingWhereAnotherStarts) {
    EXPECT_EQ(
        scoreText({{0, 400, 70, "c-3"}, {0, 300, 60, "e-3"}}),
        kConductor + "track{\n0   tone 1\n0   c-3 70\n0   e-3 60\n300   e-3 0\n100   c-3 0\n}\n");
    EXPECT_EQ(
        scoreText({{0, 500, 70, "c-3"}, {500, 900, 60, "c-3"}}),
        kConductor + "track{\n0   tone 1\n0   c-3 70\n500   c-3 60\n0   c-3 0\n400   c-3 0\n}\n");
}

TEST(Score, NoNotesAndArgumentsWrittenAsGiven) {
    const ScoreArguments a{"120.5", "6", "8", "41"};
    EXPECT_EQ(
        scoreText({}, a),
        "tracks 2\n\ntrack{\n0   tempo 120.5\n0   rhythm 6 / 8\n}\n\ntrack{\n0   tone 41\n}\n");
}

TEST(Score, ManyNotesKeepTheStableOrder) {
    std::vector<NoteRecord> notes;
    for (int i = 0; i < 16000; ++i) {
        notes.push_back({(i / 3) * 10, (i / 3) * 10 + 10 + (i % 7) * 10, 50,
                         noteName(static_cast<int16_t>(30 + i % 5))});
    }
    std::vector<ScoreEvent> events = buildScoreEvents(notes);
    ASSERT_EQ(events.size(), 32000u);
    for (size_t i = 1; i < events.size(); ++i) {
        const ScoreEvent& a = events[i - 1];
        const ScoreEvent& b = events[i];
        ASSERT_LE(a.timeMs, b.timeMs);
        if (a.timeMs == b.timeMs) {
            // Note-ons before note-offs, each in note order.
            ASSERT_TRUE(a.kind < b.kind || (a.kind == b.kind && a.noteIndex < b.noteIndex)) << i;
        }
    }
    // Every written line is a delta and a token the reader takes for a note.
    std::istringstream text(scoreText(notes));
    std::string line;
    int noteLines = 0;
    while (std::getline(text, line)) {
        std::istringstream words(line);
        std::string delta, name;
        words >> delta >> name;
        if (classifyScoreToken(name) == ScoreToken::Note) {
            ++noteLines;
            EXPECT_EQ(classifyScoreToken(delta), ScoreToken::Delta);
        }
    }
    EXPECT_EQ(noteLines, 32000);
}

}  // namespace
}  // namespace sonvola
