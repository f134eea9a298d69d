#include <gtest/gtest.h>

#include "core/settings/ini_document.h"

namespace tev {
namespace {

// Setting one key of tev3p.ini by hand-edit rules: the line is replaced in its group (every
// copy of it), or put under the group's header, or the group is added; nothing else moves.
TEST(IniValueEdit, OneLineChangesAndCommentsOrderAndLineEndsStay) {
    EXPECT_EQ(withIniValue("", "tray", "hidden", "true"), "[tray]\nhidden=true\n");
    EXPECT_EQ(withIniValue("; mine\n[alerts]\ncurrent_max=16", "tray", "hidden", "true"),
              "; mine\n[alerts]\ncurrent_max=16\n\n[tray]\nhidden=true\n");
    // Replaced where it stands, its indentation and trailing lines kept; the same key in
    // another group and in a comment is left alone.
    EXPECT_EQ(withIniValue("[tray]\n  hidden = false ; was\n# hidden=x\n[other]\nhidden=1\n"
                           "[tray]\nhidden=false\n",
                           "tray", "hidden", "true"),
              "[tray]\n  hidden=true\n# hidden=x\n[other]\nhidden=1\n[tray]\nhidden=true\n");
    // A group without the key gets it right under its first header.
    EXPECT_EQ(withIniValue("[tray]\n; the tray\nother=1\n[x]\ny=2\n", "tray", "hidden", "false"),
              "[tray]\nhidden=false\n; the tray\nother=1\n[x]\ny=2\n");
    // CR LF files stay CR LF, and a byte-order mark stays in front.
    EXPECT_EQ(withIniValue("\xEF\xBB\xBF[a]\r\nb=1\r\n", "tray", "hidden", "true"),
              "\xEF\xBB\xBF[a]\r\nb=1\r\n\r\n[tray]\r\nhidden=true\r\n");
    EXPECT_EQ(withIniValue("[tray]\r\nhidden=false\r\n", "tray", "hidden", "true"),
              "[tray]\r\nhidden=true\r\n");
    // Whatever was written reads back as the value.
    const IniDocument doc =
        IniDocument::parse(withIniValue("[tray]\nhidden=false", "tray", "hidden", "true"));
    ASSERT_EQ(doc.find("tray").size(), 1u);
    EXPECT_EQ(doc.find("tray")[0]->entries.at(0).value, "true");
}

}  // namespace
}  // namespace tev
