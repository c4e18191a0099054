// The look of Setting0 on labels, titles and text boxes, and the values that are refused.
#include <QLabel>
#include <QLineEdit>
#include <QWidget>
#include <gtest/gtest.h>

#include "screen/center_grid.h"
#include "screen/display_settings.h"
#include "screen/fit_text_label.h"
#include "screen/platform_colour.h"
#include "screen_fixture.h"

namespace edi::screen::test {
namespace {

ControlLook Look(double back, double fore, const std::string& bold, const std::string& size) {
  ControlLook l;
  l.backColor = back;
  l.foreColor = fore;
  l.font = {bold, "False", "IPAGothic", size, "False", "True"};
  return l;
}

DisplaySettings Settings() {
  DisplaySettings s;
  s.formBackColor = "&HC0C0C0";
  s.label = Look(0xFFFFFF, 255, "False", "9");        // white on red text
  s.title = Look(0x800000, 0x00FF00, "True", "12");   // navy with green text
  s.text = Look(0x00FFFF, 0, "True", "11");           // yellow
  return s;
}

QLabel* Label(QWidget& parent, const char* name) {
  auto* l = new QLabel(QStringLiteral("x"), &parent);
  l->setObjectName(QString::fromLatin1(name));
  return l;
}

TEST(PlatformColour, RedIsTheLowestByte) {
  EXPECT_EQ(*ColourFromNumber(255), QColor(255, 0, 0));
  EXPECT_EQ(*ColourFromNumber(0xFF0000), QColor(0, 0, 255));
  EXPECT_EQ(*ColourFromText("&H8000"), QColor(0, 0x80, 0));
  EXPECT_EQ(*ColourFromText("16777215"), *ColourFromText("&HFFFFFF"));
  // System colours (high bit) exist up to index 24, in either signed reading.
  EXPECT_TRUE(ColourFromNumber(2147483663.0));   // &H8000000F button face
  EXPECT_TRUE(ColourFromNumber(-2147483633.0));  // the same as a negative 32-bit value
  EXPECT_FALSE(ColourFromNumber(2147483648.0 + 99));
  EXPECT_FALSE(ColourFromNumber(0x1000000));
  EXPECT_FALSE(ColourFromNumber(-1));
  EXPECT_FALSE(ColourFromNumber(5e10));
  EXPECT_FALSE(ColourFromText(""));
  EXPECT_FALSE(ColourFromText("blue"));
}

TEST(TruthText, TrueFalseOrANumber) {
  EXPECT_EQ(ParseTruthText("True"), true);
  EXPECT_EQ(ParseTruthText("false"), false);
  EXPECT_EQ(ParseTruthText(" TRUE "), true);
  EXPECT_EQ(ParseTruthText("0"), false);
  EXPECT_EQ(ParseTruthText("-1"), true);
  EXPECT_FALSE(ParseTruthText(""));
  EXPECT_FALSE(ParseTruthText("Yes"));
}

TEST(DisplaySettingsTest, LooksFollowTheCaseSensitivePrefixes) {
  QWidget form;
  QLabel* label = Label(form, "lbl_DATE");
  QLabel* title = Label(form, "tit_cnt");
  QLabel* upper = Label(form, "Lbl_x");
  QLabel* other = Label(form, "Label1");
  auto* edit = new QLineEdit(&form);
  const QFont designed = upper->font();
  const QColor designedText = upper->palette().color(QPalette::WindowText);

  ASSERT_EQ(ApplyDisplaySettings(form, Settings()), std::nullopt);

  EXPECT_EQ(form.palette().color(QPalette::Window), QColor(0xC0, 0xC0, 0xC0));
  EXPECT_EQ(label->palette().color(QPalette::Window), QColor(255, 255, 255));
  EXPECT_EQ(label->palette().color(QPalette::WindowText), QColor(255, 0, 0));
  EXPECT_FALSE(label->font().bold());
  EXPECT_TRUE(label->font().underline());
  EXPECT_DOUBLE_EQ(label->font().pointSizeF(), 9);

  EXPECT_EQ(title->palette().color(QPalette::Window), QColor(0, 0, 0x80));
  EXPECT_EQ(title->palette().color(QPalette::WindowText), QColor(0, 255, 0));
  EXPECT_TRUE(title->font().bold());
  EXPECT_DOUBLE_EQ(title->font().pointSizeF(), 12);

  for (QLabel* kept : {upper, other}) {
    EXPECT_EQ(kept->font(), designed) << kept->objectName().toStdString();
    EXPECT_EQ(kept->palette().color(QPalette::WindowText), designedText);
    EXPECT_FALSE(kept->autoFillBackground());
  }
  EXPECT_EQ(edit->palette().color(QPalette::Base), QColor(255, 255, 0));
  EXPECT_TRUE(edit->font().bold());
}

TEST(DisplaySettingsTest, RefusedValuesFail) {
  struct Case {
    const char* what;
    void (*change)(DisplaySettings&);
  };
  const Case cases[] = {
      {"empty FormBackColor", [](DisplaySettings& s) { s.formBackColor = ""; }},
      {"FormBackColor text", [](DisplaySettings& s) { s.formBackColor = "grey"; }},
      {"empty TitleFontBold", [](DisplaySettings& s) { s.title.font.bold = ""; }},
      {"LabelFontSize zero", [](DisplaySettings& s) { s.label.font.size = "0"; }},
      {"empty LabelFontName", [](DisplaySettings& s) { s.label.font.name = ""; }},
      {"TitleForeColor out of range", [](DisplaySettings& s) { s.title.foreColor = 0x1000000; }},
  };
  for (const Case& c : cases) {
    QWidget form;
    Label(form, "lbl_DATE");
    Label(form, "tit_cnt");
    DisplaySettings s = Settings();
    c.change(s);
    EXPECT_NE(ApplyDisplaySettings(form, s), std::nullopt) << c.what;
  }
  // A bad text-box value does not matter on a window without text boxes.
  QWidget form;
  Label(form, "lbl_DATE");
  DisplaySettings s = Settings();
  s.text.font.bold = "";
  EXPECT_EQ(ApplyDisplaySettings(form, s), std::nullopt);
}

class WindowLookTest : public WindowTest {};

TEST_F(WindowLookTest, EveryLabelAndTitleOfTheWindowIsStyled) {
  MakeWindow(Centers(1));
  ASSERT_EQ(ApplyDisplaySettings(*window, Settings()), std::nullopt);
  for (const char* name : {"lbl_Koumoku", "lbl_OPCD", "lbl_OPNM", "lbl_DATE", "lbl_PGID"}) {
    auto* l = window->findChild<QLabel*>(QString::fromLatin1(name));
    ASSERT_TRUE(l) << name;
    EXPECT_EQ(l->palette().color(QPalette::WindowText), QColor(255, 0, 0)) << name;
  }
  for (const char* name : {"tit_chk", "tit_cnt", "tit_cntnm", "tit_jushinh", "tit_jotai", "tit_jushin",
                           "tit_henkan", "tit_data"}) {
    auto* l = window->findChild<QLabel*>(QString::fromLatin1(name));
    ASSERT_TRUE(l) << name;
    EXPECT_EQ(l->palette().color(QPalette::Window), QColor(0, 0, 0x80)) << name;
    EXPECT_TRUE(l->font().bold()) << name;
  }
}

// "ｽｹｼﾞｭｰﾙ" is wider than its 550-twip column in the title font: the text is drawn narrower,
// whole and inside the frame, and the column keeps its width.
TEST_F(WindowLookTest, TheScheduleTitleCanBeReadInItsColumn) {
  MakeWindow(Centers(1));
  ASSERT_EQ(ApplyDisplaySettings(*window, Settings()), std::nullopt);
  auto* title = window->findChild<FitTextLabel*>(QStringLiteral("tit_chk"));
  ASSERT_TRUE(title);
  QFont font = title->font();
  font.setPointSize(11);
  title->setFont(font);
  QPalette palette = title->palette();
  palette.setColor(QPalette::Window, Qt::white);
  palette.setColor(QPalette::WindowText, Qt::black);
  title->setPalette(palette);
  EXPECT_EQ(title->width(), CenterGrid::ColumnWidth(0));
  ASSERT_GT(title->fontMetrics().horizontalAdvance(title->text()), title->contentsRect().width());
  EXPECT_LT(title->textScale(), 1.0);

  // The columns with ink inside the frame: none at the text area's own edges (nothing cut).
  const QImage image = title->grab().toImage();
  const QRect area = title->contentsRect();
  int first = -1, last = -1;
  for (int x = area.left(); x <= area.right(); ++x)
    for (int y = area.top(); y <= area.bottom(); ++y)
      if (qGray(image.pixel(x, y)) < 128) {
        if (first < 0) first = x;
        last = x;
        break;
      }
  ASSERT_GE(first, 0) << "no text drawn";
  EXPECT_GT(first, area.left());
  EXPECT_LT(last, area.right());
  EXPECT_GT(last - first, area.width() / 2);  // still a readable width, not a dot
}

}  // namespace
}  // namespace edi::screen::test
