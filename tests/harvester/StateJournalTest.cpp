// Tests of the journal file: its record lines, a torn last line, damaged lines in the middle, and the
// compaction into a snapshot.
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "harvester/StateJournal.h"
#include "support/TestSupport.h"

using namespace lanternfold;

namespace {

using Records = std::vector<std::pair<char, std::string>>;

Records ReadAll(const std::string &path, StateJournal::ReadReport &report) {
    Records out;
    EXPECT_TRUE(StateJournal::Read(
        path, [&](char tag, std::string_view text) { out.emplace_back(tag, std::string(text)); }, report));
    return out;
}

std::string Line(char tag, const std::string &text) {
    std::string out;
    StateJournal::FormatRecord(tag, text, out);
    return out;
}

} // namespace

TEST(StateJournal, RecordLinesCarryTheirOwnChecksum) {
    EXPECT_EQ(Line('W', "www.example.org").substr(0, 18), "W www.example.org ");
    EXPECT_EQ(Line('W', "www.example.org").size(), 18u + 8 + 1);
    char tag = 0;
    std::string_view text;
    std::string line = Line('Q', "a.com");
    line.pop_back();
    ASSERT_TRUE(StateJournal::ParseRecord(line, tag, text));
    EXPECT_EQ(tag, 'Q');
    EXPECT_EQ(text, "a.com");
    std::string flipped = line;
    flipped[3] = 'x';
    EXPECT_FALSE(StateJournal::ParseRecord(flipped, tag, text));
    EXPECT_FALSE(StateJournal::ParseRecord("Q a.com", tag, text));
    EXPECT_FALSE(StateJournal::ParseRecord("", tag, text));
}

TEST(StateJournal, AppendedRecordsComeBackInOrderAfterTheHeader) {
    testsupport::TempDir dir;
    const std::string path = dir.File("j");
    {
        StateJournal journal;
        ASSERT_TRUE(journal.Open(path));
        journal.Append('C', "a.com");
        journal.Append('S', "b.org");
        ASSERT_TRUE(journal.Flush());
        journal.Append('D', "a.com"); // flushed by Close
    }
    StateJournal::ReadReport report;
    EXPECT_EQ(ReadAll(path, report),
              (Records{{'H', "lanternfold-journal-1"}, {'C', "a.com"}, {'S', "b.org"}, {'D', "a.com"}}));
    EXPECT_EQ(report.damaged, 0u);
    EXPECT_FALSE(report.tornTail);
}

TEST(StateJournal, TornLastRecordIsDroppedAndCutSoTheNextStartsALine) {
    testsupport::TempDir dir;
    const std::string path = dir.File("j");
    const std::string whole = Line('H', "lanternfold-journal-1") + Line('C', "a.com");
    const std::string torn = Line('C', "b.com");
    testsupport::WriteFileBytes(path, whole + torn.substr(0, 9));
    StateJournal::ReadReport report;
    EXPECT_EQ(ReadAll(path, report).size(), 2u);
    EXPECT_TRUE(report.tornTail);
    EXPECT_EQ(testsupport::ReadFileBytes(path), whole);
    {
        StateJournal journal;
        ASSERT_TRUE(journal.Open(path));
        journal.Append('C', "c.com");
    }
    EXPECT_EQ(ReadAll(path, report),
              (Records{{'H', "lanternfold-journal-1"}, {'C', "a.com"}, {'C', "c.com"}}));
}

TEST(StateJournal, DamagedLinesInTheMiddleCostOnlyThemselves) {
    testsupport::TempDir dir;
    const std::string path = dir.File("j");
    std::string bytes = Line('H', "lanternfold-journal-1");
    for (int i = 0; i < 10; ++i)
        bytes += Line('S', "n" + std::to_string(i) + ".com");
    // One byte flipped in a name; a run of zeros over the joint of two lines (which become one).
    bytes[bytes.find("n2.com")] = 'm';
    const size_t zeros = bytes.find("n7.com") - 8;
    bytes.replace(zeros, 12, std::string(12, '\0'));
    testsupport::WriteFileBytes(path, bytes);
    StateJournal::ReadReport report;
    const Records records = ReadAll(path, report);
    std::vector<std::string> names;
    for (const auto &[tag, text] : records)
        if (tag == 'S')
            names.push_back(text);
    EXPECT_EQ(names, (std::vector<std::string>{"n0.com", "n1.com", "n3.com", "n4.com", "n5.com", "n8.com",
                                               "n9.com"}));
    EXPECT_EQ(report.damaged, 2u);
    EXPECT_FALSE(report.tornTail);
}

TEST(StateJournal, AnOverlongLineIsOneDamagedRecord) {
    testsupport::TempDir dir;
    const std::string path = dir.File("j");
    testsupport::WriteFileBytes(path,
                                Line('S', "a.com") + std::string(200000, 'x') + "\n" + Line('S', "b.com"));
    StateJournal::ReadReport report;
    EXPECT_EQ(ReadAll(path, report), (Records{{'S', "a.com"}, {'S', "b.com"}}));
    EXPECT_EQ(report.damaged, 1u);
}

TEST(StateJournal, CompactionKeepsTheChosenRecordsAndAddsTheCurrentOnes) {
    testsupport::TempDir dir;
    const std::string path = dir.File("j");
    StateJournal journal;
    ASSERT_TRUE(journal.Open(path));
    for (int i = 0; i < 100; ++i) {
        journal.Append('Q', "q" + std::to_string(i) + ".com");
        journal.Append('C', "q" + std::to_string(i) + ".com");
    }
    journal.Append('S', "s.com");
    const uint64_t before = journal.Size();
    ASSERT_TRUE(journal.Compact("CS", [](StateJournal &fresh) { fresh.Append('Q', "left.com"); }));
    EXPECT_LT(journal.Size(), before);
    journal.Append('W', "after.com");
    journal.Close();
    StateJournal::ReadReport report;
    const Records records = ReadAll(path, report);
    ASSERT_EQ(records.size(), 1u + 100 + 1 + 1 + 1);
    EXPECT_EQ(records[0].first, 'H');
    EXPECT_EQ(records[1], (std::pair<char, std::string>('C', "q0.com")));
    EXPECT_EQ(records[101], (std::pair<char, std::string>('S', "s.com")));
    EXPECT_EQ(records[102], (std::pair<char, std::string>('Q', "left.com")));
    EXPECT_EQ(records[103], (std::pair<char, std::string>('W', "after.com")));
    EXPECT_FALSE(testsupport::ReadFileBytes(path + ".tmp").size() > 0);
}

TEST(StateJournal, MissingFileReadsAsEmpty) {
    testsupport::TempDir dir;
    StateJournal::ReadReport report;
    EXPECT_TRUE(ReadAll(dir.File("none"), report).empty());
    EXPECT_FALSE(report.existed);
}
