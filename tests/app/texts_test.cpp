#include <gtest/gtest.h>

#include "app/texts.h"

namespace veltro {
namespace {

std::size_t Count(std::string_view text, std::string_view part) {
    std::size_t found = 0;
    for (auto at = text.find(part); at != std::string_view::npos; at = text.find(part, at + part.size())) ++found;
    return found;
}

TEST(Texts, EveryIdHasBothLanguagesAndTheSameArguments) {
    for (std::size_t i = 0; i < static_cast<std::size_t>(TextId::Count); ++i) {
        const auto id = static_cast<TextId>(i);
        const std::string_view english = Text(id, Language::English);
        const std::string_view italian = Text(id, Language::Italian);
        EXPECT_FALSE(english.empty()) << "id " << i;
        EXPECT_FALSE(italian.empty()) << "id " << i << " " << english;
        EXPECT_LE(Count(english, "%1"), 1u) << english;
        EXPECT_EQ(Count(english, "%1"), Count(italian, "%1")) << english;  // a translation must not lose the argument
    }
}

TEST(Texts, TheArgumentTakesThePlaceOfItsMarkOnly) {
    struct Case {
        const char* what;
        TextId id;
        Language language;
        const char* argument;
        const char* expected;
    } cases[] = {
        {"an argument holding the mark is not expanded again", TextId::SerialPortInUse, Language::English, "%1%1",
         "The selected serial port (%1%1) is in use by another program!"},
        {"a text without the mark ignores the argument", TextId::FindCaption, Language::Italian, "COM7", "Cerca"},
    };
    for (const Case& c : cases) EXPECT_EQ(Text(c.id, c.language, c.argument), c.expected) << c.what;
}

} // namespace
} // namespace veltro
