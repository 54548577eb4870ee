#include "readers/PrprojIdTable.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

using namespace tarnwick::prproj;

TEST(ProjectIdTable, FindsEveryKeyThroughGrowthInInsertionOrder) {
    std::vector<std::string> keys;
    for (int i = 0; i < 5000; ++i) {
        // Appended rather than joined with `+`: GCC 12 at -O3 warns falsely about `"m" + string`.
        std::string key = i % 3 == 0 ? std::string() : std::string("m");
        key += std::to_string(i);
        if (i % 3 != 0)
            key.append("-4b2c-4d3e-8f40-").append(std::to_string(i));
        keys.push_back(std::move(key));
    }
    IdMap<int> map;
    for (std::size_t i = 0; i < keys.size(); ++i)
        map[keys[i]] = int(i);
    map[keys[7]] += 100; // an existing key keeps its place
    ASSERT_EQ(map.size(), keys.size());
    std::size_t at = 0;
    for (const auto& [key, value] : map) {
        EXPECT_EQ(key, keys[at]);
        EXPECT_EQ(value, at == 7 ? 107 : int(at));
        ++at;
    }
    EXPECT_EQ(map.count("absent"), 0u);
    EXPECT_EQ(map.count(""), 0u);
    EXPECT_THROW((void)map.at("absent"), std::out_of_range);
    EXPECT_TRUE(map.insert({keys[3], 9}).first->second == 3); // present: unchanged
    EXPECT_EQ((IdMap<int>{{"a", 1}, {"b", 2}}), (IdMap<int>{{"b", 2}, {"a", 1}}));
    EXPECT_NE((IdMap<int>{{"a", 1}, {"b", 2}}), (IdMap<int>{{"a", 1}, {"b", 3}}));
}

TEST(ProjectIdTable, TellsObjectNumbersFromTextThatLooksAlike) {
    // Numbers are found by their value below a cap, everything else by hash: "7" and "07" stay two
    // keys, and a number past the cap is still found (through the hash).
    for (std::size_t reserved : {std::size_t(0), std::size_t(100000)}) {
        IdMap<int> map;
        if (reserved > 0)
            map.reserve(reserved);
        const std::vector<std::string> keys = {"7",        "07",        "0",  "00", "4294967295", "70000",
                                               "10000000", "999999999", "-1", "7a", "1000000000"};
        for (std::size_t i = 0; i < keys.size(); ++i)
            map[keys[i]] = int(i);
        ASSERT_EQ(map.size(), keys.size());
        for (std::size_t i = 0; i < keys.size(); ++i)
            EXPECT_EQ(map.at(keys[i]), int(i)) << keys[i];
        EXPECT_EQ(map.count("8"), 0u);
        EXPECT_EQ(map.count("007"), 0u);
        EXPECT_EQ(map.count("69999"), 0u);
    }
}

TEST(ProjectIdTable, ListsKeepEachKeysValuesInTheOrderAdded) {
    IdLists lists;
    lists.add("m1", "c1");
    lists.add("m2", "c2");
    lists.add("m1", "c3"); // the same key again, after another
    lists.add("m3", "c4");
    lists.add("m1", "c1"); // repeats stay
    lists.seal();
    ASSERT_EQ(lists.keyCount(), 3u);
    EXPECT_EQ(lists.key(0), "m1");
    const auto m1 = lists.find("m1");
    EXPECT_EQ(std::vector<Id>(m1.begin(), m1.end()), (std::vector<Id>{"c1", "c3", "c1"}));
    const auto m3 = lists.values(2);
    EXPECT_EQ(std::vector<Id>(m3.begin(), m3.end()), (std::vector<Id>{"c4"}));
    EXPECT_TRUE(lists.find("m4").empty());
}
