#include "core/texts/csv_text.h"

#include <gtest/gtest.h>

namespace tev {
namespace {

TEST(CsvTextCell, QuotesWhatMovesColumnsAndDefusesFormulas) {
    const struct {
        std::string_view text;
        std::string_view cell;
    } cases[] = {
        {"", ""},
        {"A1B2C3D4E5F6", "A1B2C3D4E5F6"},
        {"EUR", "EUR"},
        {"AB\"CD,x>EF;;", "\"AB\"\"CD,x>EF;;\""},
        {"a\nb", "\"a\nb\""},
        {"a\rb", "\"a\rb\""},
        {"=1+2+cmd|A0!", "'=1+2+cmd|A0!"},
        {"+1", "'+1"},
        {"-2", "'-2"},
        {"@SUM(A1)", "'@SUM(A1)"},
        {"\tx", "'\tx"},
        {"\r=x", "\"'\r=x\""},
        {"=a,\"b\"", "\"'=a,\"\"b\"\"\""},
        {"x=1", "x=1"},
    };
    for (const auto& c : cases) EXPECT_EQ(csvTextCell(c.text), c.cell) << c.text;
}

}  // namespace
}  // namespace tev
