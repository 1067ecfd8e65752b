// The generated delete list in the author's template: the rest of the
// template stays byte for byte, and the updater's reader finds the list.
#include <gtest/gtest.h>

#include "tools/qvpatch/description_template.h"

namespace {

std::string Write(const std::string& text, const std::vector<std::u16string>& entries) {
  std::string out, error;
  EXPECT_TRUE(WriteDeleteList(text, entries, &out, &error)) << error;
  return out;
}

std::string Refusal(const std::string& text) {
  std::string out, error;
  EXPECT_FALSE(WriteDeleteList(text, {u"x"}, &out, &error));
  return error;
}

const std::string kHead = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<document>\n  <brand>B</brand>\n";

TEST(DescriptionTemplate, ReplacesTheListKeepingEverythingElse) {
  const std::string text = kHead +
                           "  <!-- what goes: <delete><p01>commented</p01></delete> -->\n"
                           "  <delete>\n    <p01>old</p01>\n    <p03>gap</p03>\n  </delete>\n"
                           "  <jp><delete>not the list</delete></jp>\n</document>\n";
  EXPECT_EQ(Write(text, {u"cache", u"scenario\\序章.txt"}),
            kHead +
                "  <!-- what goes: <delete><p01>commented</p01></delete> -->\n"
                "  <delete>\n    <p01>cache</p01>\n    <p02>scenario\\序章.txt</p02>\n  </delete>\n"
                "  <jp><delete>not the list</delete></jp>\n</document>\n");
}

TEST(DescriptionTemplate, NumbersPastNinetyNineKeepCounting) {
  std::vector<std::u16string> entries(100, u"f");
  const std::string out = Write(kHead + "</document>\n", entries);
  EXPECT_NE(out.find("<p99>f</p99>\n    <p100>f</p100>\n  </delete>\n</document>"), std::string::npos);
  EXPECT_EQ(out.find("<p00>"), std::string::npos);
}

TEST(DescriptionTemplate, InsertsBeforeTheEndInTheTemplatesLineEnds) {
  const std::string text = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<document>\r\n"
                           "\t<app>A</app>\r\n</document>\r\n";
  EXPECT_EQ(Write(text, {u"a"}),
            "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<document>\r\n\t<app>A</app>\r\n"
            "  <delete>\r\n    <p01>a</p01>\r\n  </delete>\r\n</document>\r\n");
  EXPECT_EQ(Write("<?xml version=\"1.0\" encoding=\"UTF-8\"?><document><app>A</app></document>", {u"a"}),
            "<?xml version=\"1.0\" encoding=\"UTF-8\"?><document><app>A</app><delete>\n"
            "    <p01>a</p01>\n  </delete></document>");
}

TEST(DescriptionTemplate, EveryOldListGoesAndAnEmptyListLeavesNone) {
  const std::string text = kHead + "  <delete><p01>a</p01></delete>\n  <app>A</app>\n"
                                   "  <delete>\n    <p01>b</p01>\n  </delete>\n</document>\n";
  EXPECT_EQ(Write(text, {}), kHead + "  <app>A</app>\n</document>\n");
  EXPECT_EQ(Write(text, {u"c"}),
            kHead + "  <delete>\n    <p01>c</p01>\n  </delete>\n  <app>A</app>\n</document>\n");
}

TEST(DescriptionTemplate, RefusesTemplatesTheUpdaterWouldMisread) {
  EXPECT_NE(Refusal("<?xml version=\"1.0\"?>\n<update><delete></delete></update>\n").find("<document>"),
            std::string::npos);
  EXPECT_NE(Refusal(kHead).find("not closed"), std::string::npos);
  EXPECT_NE(Refusal(kHead + "<delete><p01>a</p01></document>").find("closes nothing"),
            std::string::npos);
  EXPECT_FALSE(Refusal("no markup at all").empty());
  std::string out, error;
  EXPECT_FALSE(WriteDeleteList(kHead + "</document>", {u" lead"}, &out, &error));
  EXPECT_FALSE(WriteDeleteList(kHead + "</document>", {u""}, &out, &error));
}

}  // namespace
