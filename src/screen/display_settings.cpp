#include "screen/display_settings.h"

#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTextEdit>
#include <QWidget>

#include "app/catalogue.h"
#include "app/text.h"
#include "screen/platform_colour.h"

namespace edi::screen {

namespace {

// Why a value was refused, naming the control and the property.
struct Refused {
  std::string what;
};

enum class Surface { Label, TextBox };

// Largest point size the font of a control accepts.
constexpr double kMaxPointSize = 2160;

QColor ColourOrThrow(double number, const std::string& control, const char* property) {
  auto colour = ColourFromNumber(number);
  if (!colour) throw Refused{TrArgs("{1} {2}: 色ではありません: {3}", {control, property, std::to_string(number)})};
  return *colour;
}

bool TruthOrThrow(const std::string& text, const std::string& control, const char* property) {
  auto value = ParseTruthText(text);
  if (!value) throw Refused{TrArgs("{1} {2}: True でも False でもありません: \"{3}\"", {control, property, text})};
  return *value;
}

void SetBackColour(QWidget& w, Surface surface, const QColor& colour) {
  QPalette palette = w.palette();
  palette.setColor(surface == Surface::Label ? QPalette::Window : QPalette::Base, colour);
  w.setPalette(palette);
  if (surface == Surface::Label) w.setAutoFillBackground(true);
}

void SetForeColour(QWidget& w, Surface surface, const QColor& colour) {
  QPalette palette = w.palette();
  palette.setColor(surface == Surface::Label ? QPalette::WindowText : QPalette::Text, colour);
  w.setPalette(palette);
}

// Back colour, bold, italic, name, size, strikethrough, underline, fore colour: the order
// in which they are assigned, so a refused value always leaves the same partial look.
void ApplyLook(QWidget& w, Surface surface, const ControlLook& look) {
  const std::string name = w.objectName().toStdString();
  SetBackColour(w, surface, ColourOrThrow(look.backColor, name, "BackColor"));

  QFont font = w.font();
  font.setBold(TruthOrThrow(look.font.bold, name, "FontBold"));
  w.setFont(font);
  font.setItalic(TruthOrThrow(look.font.italic, name, "FontItalic"));
  w.setFont(font);

  const std::string family = TrimSpaces(look.font.name);
  if (family.empty()) throw Refused{TrArgs("{1} FontName: 空です", {name})};
  font.setFamily(QString::fromStdString(family));
  w.setFont(font);

  auto size = ParseMandatoryNumber(TrimSpaces(look.font.size));
  if (!size || !(*size > 0) || *size > kMaxPointSize)
    throw Refused{TrArgs("{1} FontSize: ポイント数ではありません: \"{2}\"", {name, look.font.size})};
  font.setPointSizeF(*size);
  w.setFont(font);

  font.setStrikeOut(TruthOrThrow(look.font.strikethru, name, "FontStrikethru"));
  w.setFont(font);
  font.setUnderline(TruthOrThrow(look.font.underline, name, "FontUnderline"));
  w.setFont(font);

  SetForeColour(w, surface, ColourOrThrow(look.foreColor, name, "ForeColor"));
}

bool IsTextBox(const QWidget& w) {
  return qobject_cast<const QLineEdit*>(&w) || qobject_cast<const QTextEdit*>(&w) ||
         qobject_cast<const QPlainTextEdit*>(&w);
}

}  // namespace

std::optional<bool> ParseTruthText(const std::string& text) {
  const QString t = QString::fromStdString(TrimSpaces(text));
  if (t.compare(QLatin1String("True"), Qt::CaseInsensitive) == 0) return true;
  if (t.compare(QLatin1String("False"), Qt::CaseInsensitive) == 0) return false;
  if (auto number = ParseMandatoryNumber(t.toStdString())) return *number != 0;
  return std::nullopt;
}

std::optional<std::string> ApplyDisplaySettings(QWidget& window, const DisplaySettings& settings) {
  try {
    auto formBack = ColourFromText(TrimSpaces(settings.formBackColor));
    if (!formBack) throw Refused{TrArgs("FormBackColor: 色ではありません: \"{1}\"", {settings.formBackColor})};
    QPalette palette = window.palette();
    palette.setColor(QPalette::Window, *formBack);
    window.setPalette(palette);
    window.setAutoFillBackground(true);

    // findChildren walks the children in creation order, depth first: the window's own order.
    for (QWidget* w : window.findChildren<QWidget*>()) {
      if (IsTextBox(*w)) {
        ApplyLook(*w, Surface::TextBox, settings.text);
      } else if (qobject_cast<QLabel*>(w)) {
        const QString name = w->objectName();
        if (name.startsWith(QLatin1String("lbl_"), Qt::CaseSensitive))
          ApplyLook(*w, Surface::Label, settings.label);
        else if (name.startsWith(QLatin1String("tit_"), Qt::CaseSensitive))
          ApplyLook(*w, Surface::Label, settings.title);
      }
    }
  } catch (const Refused& r) {
    return r.what;
  }
  return std::nullopt;
}

}  // namespace edi::screen
