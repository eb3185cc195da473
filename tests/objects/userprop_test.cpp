// User property lists: appends, copies and element access.
#include "objects/userprop.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

TEST(UserProp, AppendsWithoutSourceAreNumberedFromOne) {
    UserPropertyList list;
    for (int i = 0; i < 3; ++i) AddUserProperty(&list);
    ASSERT_EQ(list.properties.size(), 3u);
    for (int i = 0; i < 3; ++i) {
        EXPECT_STREQ(list.properties[i].name, ("User Property " + std::to_string(i + 1)).c_str());
        EXPECT_EQ(list.properties[i].intValue, 0);
        EXPECT_EQ(list.properties[i].floatValue, 0.0f);
    }
    AddUserProperty(nullptr);  // no list: nothing to do, no crash
}

TEST(UserProp, AppendedCopyKeepsNameAndValuesAndEndsTheName) {
    UserProperty source{};
    std::strcpy(source.name, "Gold");
    source.intValue = -7;
    source.floatValue = 2.5f;
    UserProperty unterminated;
    std::memset(unterminated.name, 'x', sizeof unterminated.name);
    unterminated.intValue = 1;
    unterminated.floatValue = -1.0f;

    UserPropertyList list;
    AddUserProperty(&list);
    AddUserProperty(&list, &source);
    AddUserProperty(&list, &unterminated);
    ASSERT_EQ(list.properties.size(), 3u);
    EXPECT_STREQ(list.properties[1].name, "Gold");
    EXPECT_EQ(list.properties[1].intValue, -7);
    EXPECT_EQ(list.properties[1].floatValue, 2.5f);
    EXPECT_EQ(std::strlen(list.properties[2].name), sizeof unterminated.name - 1);
    EXPECT_EQ(list.properties[2].intValue, 1);
    // A null source after copies is still numbered by the count.
    AddUserProperty(&list);
    EXPECT_STREQ(list.properties[3].name, "User Property 4");
}

TEST(UserProp, CopyAndGetStayInsideTheList) {
    UserPropertyList empty;
    UserPropertyList two;
    AddUserProperty(&two);
    AddUserProperty(&two);
    struct Case {
        UserPropertyList* list;
        int32_t index;
        bool inside;
    } cases[] = {{nullptr, 0, false}, {&empty, 0, false}, {&two, -1, false},
                 {&two, 0, true},     {&two, 1, true},    {&two, 2, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.index);
        UserProperty* got = GetUserProperty(c.list, c.index);
        UserProperty out{};
        std::strcpy(out.name, "untouched");
        CopyUserProperty(c.list, c.index, &out);
        if (c.inside) {
            EXPECT_EQ(got, &c.list->properties[c.index]);
            EXPECT_EQ(std::memcmp(&out, got, sizeof out), 0);
        } else {
            EXPECT_EQ(got, nullptr);
            EXPECT_STREQ(out.name, "untouched");
        }
    }
    CopyUserProperty(&two, 0, nullptr);  // no destination: nothing, no crash
}

}  // namespace
