// The search statement the condition controls make.
#include <gtest/gtest.h>

#include "player/core/index/search_conditions.h"

using namespace player;

namespace {
const std::string kBase =
    "select RecordChannel,RecordDateTime,CallNumber,RecordDuration,FileFullName,CallDirection from RecordFileInfo "
    "where 1=1 and RecordDateTime >= #2006-01-01 00:00:00# and RecordDateTime <= #2024-05-06 23:59:59#";
const LocalTime kToday{2024, 5, 6, 8, 15, 0};
}  // namespace

TEST(MakeCondition, TheStartingControlsGiveTheRangeClauseAndNothingElse) {
    SearchConditions c = InitMainFormConditions(kToday, "/srv/calls" + std::string(245, ' '));
    EXPECT_EQ(MakeCondition(c), kBase);
    EXPECT_EQ(c.mainFolder, "/srv/calls");
    EXPECT_EQ(c.compareIndex, -1) << "no duration operator is selected at start";
    EXPECT_EQ(c.channelIndex, 0);
    EXPECT_TRUE(c.callIn && c.callOut);
}

TEST(MakeCondition, EachControlAddsItsClauseInOrder) {
    SearchConditions c = InitMainFormConditions(kToday, "");
    c.channelIndex = 5;
    EXPECT_EQ(MakeCondition(c), kBase + " and RecordChannel = '0005'") << "four digits, though the list shows 005";
    c = InitMainFormConditions(kToday, "");
    c.compareIndex = 1;
    c.duration = {0, 0, 0, 0, 1, 30};
    EXPECT_EQ(MakeCondition(c), kBase + " and RecordDuration >=#00:01:30#");
    c.compareIndex = 0;
    EXPECT_EQ(MakeCondition(c), kBase) << "the empty operator adds nothing";
    c = InitMainFormConditions(kToday, "");
    c.number = "  123  ";
    EXPECT_EQ(MakeCondition(c), kBase + " and CallNumber like '%123%'");
    c.number = " O'Brien's ";
    EXPECT_EQ(MakeCondition(c), kBase + " and CallNumber like '%O''Brien''s%'") << "each quote doubled, once";
    c = InitMainFormConditions(kToday, "");
    c.callIn = c.callOut = false;
    EXPECT_EQ(MakeCondition(c), kBase + " and CallDirection <> 'IN' and CallDirection <> 'OUT'");
    c = InitMainFormConditions(kToday, "");
    c.start = {2024, 1, 2, 3, 4, 5};
    c.end = {2024, 1, 2, 6, 7, 8};
    c.compareIndex = 2;
    c.duration = {0, 0, 0, 1, 0, 0};
    c.channelIndex = 128;
    c.number = "9";
    c.callOut = false;
    EXPECT_EQ(MakeCondition(c),
              "select RecordChannel,RecordDateTime,CallNumber,RecordDuration,FileFullName,CallDirection from "
              "RecordFileInfo where 1=1 and RecordDateTime >= #2024-01-02 03:04:05# and RecordDateTime <= "
              "#2024-01-02 06:07:08# and RecordDuration <=#01:00:00# and RecordChannel = '0128' and CallNumber like "
              "'%9%' and CallDirection <> 'OUT'");
}

TEST(ConditionLists, ChannelsAllThen001To128AndThreeOperators) {
    auto channels = ChannelListEntries();
    ASSERT_EQ(channels.size(), 129u);
    EXPECT_EQ(channels[0], "all");
    EXPECT_EQ(channels[1], "001");
    EXPECT_EQ(channels[128], "128");
    EXPECT_EQ(CompareListEntries(), (std::vector<std::string>{"", ">=", "<="}));
}
