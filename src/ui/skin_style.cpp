#include "ui/skin_style.h"

#include <QAbstractButton>
#include <QAbstractScrollArea>
#include <QApplication>
#include <QComboBox>
#include <QEvent>
#include <QGroupBox>
#include <QHeaderView>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QStatusBar>
#include <QStyleFactory>
#include <QStyleOption>
#include <QTabBar>
#include <QTableView>
#include <QTextEdit>
#include <QTreeView>
#include <set>

#include "ui/skin_source.h"

namespace qelo::ui {

namespace {

constexpr const char* kNameProperty = "SkinDataName";

// The look a control in this state asks for. Some controls always carry the sunken flag (line
// edits, sunken frames); for them it says nothing about being pressed.
SkinState StateOf(QStyle::State state, bool sunkenMeansDown = true) {
  if (!(state & QStyle::State_Enabled)) return SkinState::Disabled;
  if (sunkenMeansDown && (state & (QStyle::State_Sunken | QStyle::State_On)))
    return SkinState::Down;
  if (state & (QStyle::State_MouseOver | QStyle::State_HasFocus | QStyle::State_Selected))
    return SkinState::Active;
  return SkinState::Normal;
}

// A copy of palette whose text roles carry colour.
QPalette WithText(QPalette palette, const std::optional<QColor>& colour) {
  if (!colour) return palette;
  for (const QPalette::ColorRole role :
       {QPalette::WindowText, QPalette::ButtonText, QPalette::Text, QPalette::HighlightedText})
    palette.setColor(role, *colour);
  return palette;
}

bool IsPanelPainted(const QWidget* widget) {
  return !qobject_cast<const QAbstractScrollArea*>(widget) &&
         !qobject_cast<const QGroupBox*>(widget) && !qobject_cast<const QStatusBar*>(widget) &&
         !qobject_cast<const QMenuBar*>(widget) && !qobject_cast<const QMenu*>(widget) &&
         !qobject_cast<const QAbstractButton*>(widget) && !qobject_cast<const QLineEdit*>(widget) &&
         !qobject_cast<const QComboBox*>(widget) && !qobject_cast<const QScrollBar*>(widget);
}

}  // namespace

std::string SkinDataNameOf(const QWidget* widget) {
  if (!widget) return {};
  const QVariant own = widget->property(kNameProperty);
  if (own.isValid()) return own.toString().toLower().toStdString();
  if (qobject_cast<const QPushButton*>(widget)) return "button";
  if (qobject_cast<const QComboBox*>(widget)) return "combobox";
  if (qobject_cast<const QLineEdit*>(widget)) return "edit";
  if (qobject_cast<const QTextEdit*>(widget) || qobject_cast<const QPlainTextEdit*>(widget))
    return "memo";
  if (qobject_cast<const QHeaderView*>(widget)) return "header";
  if (qobject_cast<const QTreeView*>(widget) || qobject_cast<const QTableView*>(widget))
    return "listview";
  if (qobject_cast<const QListView*>(widget)) return "listbox";
  if (const auto* bar = qobject_cast<const QScrollBar*>(widget))
    return bar->orientation() == Qt::Horizontal ? "hscrollbar" : "vscrollbar";
  if (qobject_cast<const QStatusBar*>(widget)) return "statusbar";
  if (qobject_cast<const QMenuBar*>(widget)) return "mainmenubar";
  if (qobject_cast<const QMenu*>(widget)) return "popupwindow";
  if (qobject_cast<const QGroupBox*>(widget)) return "groupbox";
  if (qobject_cast<const QTabBar*>(widget)) return "tab";
  if (qobject_cast<const QMessageBox*>(widget)) return "panel";
  if (const auto* frame = qobject_cast<const QFrame*>(widget)) {
    if (frame->frameShape() != QFrame::NoFrame && !qobject_cast<const QAbstractScrollArea*>(frame))
      return "panel";
  }
  return {};
}

void SetSkinDataName(QWidget* widget, const std::string& name) {
  widget->setProperty(kNameProperty, QString::fromStdString(name));
  if (TSkinStyle* style = CurrentSkinStyle()) {
    style->unpolish(widget);
    style->polish(widget);
  }
  widget->update();
}

TSkinStyle::TSkinStyle(QStyle* base) : QProxyStyle(base) {}

void TSkinStyle::SetLook(std::shared_ptr<const SkinLook> look) {
  look_ = std::move(look);
}

const SkinPart* TSkinStyle::Part(const char* name) const {
  return look_ ? look_->Part(name) : nullptr;
}

const SkinPart* TSkinStyle::PartOf(const QWidget* widget, const char* fallback) const {
  if (!look_) return nullptr;
  const std::string name = SkinDataNameOf(widget);
  if (!name.empty()) return look_->Part(name);
  return fallback ? look_->Part(fallback) : nullptr;
}

void TSkinStyle::polish(QWidget* widget) {
  QProxyStyle::polish(widget);
  if (qobject_cast<QPushButton*>(widget) || qobject_cast<QComboBox*>(widget) ||
      qobject_cast<QScrollBar*>(widget) || qobject_cast<QLineEdit*>(widget))
    widget->setAttribute(Qt::WA_Hover);
  // Panels draw nothing of their own; their look is painted before their paint event.
  if (SkinDataNameOf(widget) == "panel" && IsPanelPainted(widget)) widget->installEventFilter(this);
}

void TSkinStyle::unpolish(QWidget* widget) {
  widget->removeEventFilter(this);
  QProxyStyle::unpolish(widget);
}

bool TSkinStyle::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::Paint) {
    auto* widget = static_cast<QWidget*>(watched);
    if (const SkinPart* part = PartOf(widget, nullptr)) {
      QPainter painter(widget);
      const SkinState state = widget->isEnabled() ? SkinState::Normal : SkinState::Disabled;
      part->Look(state).Draw(painter, widget->rect());
    }
  }
  return QProxyStyle::eventFilter(watched, event);
}

// --- Primitives -------------------------------------------------------------------------------

void TSkinStyle::drawPrimitive(PrimitiveElement element, const QStyleOption* option,
                               QPainter* painter, const QWidget* widget) const {
  switch (element) {
    case PE_PanelButtonCommand:
    case PE_PanelButtonBevel:
      if (const SkinPart* part = PartOf(widget, "button")) {
        part->Look(StateOf(option->state)).Draw(*painter, option->rect);
        return;
      }
      break;
    case PE_FrameDefaultButton:
      if (PartOf(widget, "button")) return;
      break;
    case PE_PanelLineEdit:
      // The line edit of an editable combo box has no frame; the combo box draws around it.
      if (qobject_cast<const QComboBox*>(widget ? widget->parentWidget() : nullptr)) break;
      if (const SkinPart* part = PartOf(widget, "edit")) {
        part->Look(StateOf(option->state, false)).Draw(*painter, option->rect);
        return;
      }
      break;
    case PE_FrameLineEdit:
      if (PartOf(widget, "edit")) return;
      break;
    case PE_PanelStatusBar:
      if (const SkinPart* part = Part("statusbar")) {
        part->Look(StateOf(option->state, false)).Draw(*painter, option->rect);
        return;
      }
      break;
    case PE_FrameStatusBarItem: {
      const std::string name = SkinDataNameOf(widget);
      const SkinPart* part = Part(name.empty() || name == "panel" ? "statuspanel" : name.c_str());
      if (part) {
        part->Look(StateOf(option->state, false)).Draw(*painter, option->rect);
        return;
      }
      break;
    }
    case PE_PanelMenuBar:
      if (const SkinPart* part = Part("mainmenubar")) {
        part->Look(SkinState::Normal).Draw(*painter, option->rect);
        return;
      }
      break;
    case PE_PanelMenu:
      if (const SkinPart* part = Part("popupwindow")) {
        part->Look(SkinState::Normal).Draw(*painter, option->rect);
        return;
      }
      break;
    case PE_FrameMenu:
      if (Part("popupwindow")) return;
      break;
    default:
      break;
  }
  QProxyStyle::drawPrimitive(element, option, painter, widget);
}

// --- Controls ---------------------------------------------------------------------------------

bool TSkinStyle::DrawMenuBarItem(const QStyleOption* option, QPainter* painter,
                                 const QWidget* widget) const {
  const auto* item = qstyleoption_cast<const QStyleOptionMenuItem*>(option);
  const SkinPart* bar = Part("mainmenubar");
  if (!item || !bar) return false;
  bar->Look(SkinState::Normal)
      .Draw(*painter, item->menuRect.isValid() ? item->menuRect : option->rect);
  const bool enabled = option->state & State_Enabled;
  const bool selected = option->state & State_Selected;
  const bool down = selected && (option->state & State_Sunken);
  const SkinState state = !enabled   ? SkinState::Disabled
                          : down     ? SkinState::Down
                          : selected ? SkinState::Active
                                     : SkinState::Normal;
  const SkinPart* part = Part("mainmenubaritem");
  if (!part) part = Part("menuitem");
  if (part && state != SkinState::Normal) part->Look(state).Draw(*painter, option->rect);
  std::optional<QColor> colour = part ? part->FontColor(state) : std::nullopt;
  if (!colour) colour = bar->FontColor(state);
  int flags = Qt::AlignCenter | Qt::TextShowMnemonic | Qt::TextDontClip | Qt::TextSingleLine;
  if (!styleHint(SH_UnderlineShortcut, option, widget)) flags |= Qt::TextHideMnemonic;
  QPalette palette = WithText(option->palette, colour);
  drawItemText(painter, option->rect, flags, palette, enabled, item->text,
               selected && !colour ? QPalette::HighlightedText : QPalette::ButtonText);
  return true;
}

bool TSkinStyle::DrawMenuItem(const QStyleOption* option, QPainter* painter,
                              const QWidget* widget) const {
  const auto* item = qstyleoption_cast<const QStyleOptionMenuItem*>(option);
  const SkinPart* part = Part("menuitem");
  if (!item || !part || item->menuItemType == QStyleOptionMenuItem::Separator) return false;
  const SkinState state = StateOf(option->state, false);
  part->Look(state).Draw(*painter, option->rect);
  // The base style draws check marks, icons, text and shortcuts; its own highlight is made
  // invisible so the skin's look stays.
  QStyleOptionMenuItem copy(*item);
  copy.palette = WithText(copy.palette, part->FontColor(state));
  copy.palette.setColor(QPalette::Highlight, Qt::transparent);
  QProxyStyle::drawControl(CE_MenuItem, &copy, painter, widget);
  return true;
}

void TSkinStyle::drawControl(ControlElement element, const QStyleOption* option, QPainter* painter,
                             const QWidget* widget) const {
  switch (element) {
    case CE_PushButtonLabel:
      if (const SkinPart* part = PartOf(widget, "button")) {
        if (const auto* button = qstyleoption_cast<const QStyleOptionButton*>(option)) {
          QStyleOptionButton copy(*button);
          copy.palette = WithText(copy.palette, part->FontColor(StateOf(option->state)));
          QProxyStyle::drawControl(element, &copy, painter, widget);
          return;
        }
      }
      break;
    case CE_MenuBarEmptyArea:
      if (const SkinPart* part = Part("mainmenubar")) {
        part->Look(SkinState::Normal).Draw(*painter, option->rect);
        return;
      }
      break;
    case CE_MenuBarItem:
      if (DrawMenuBarItem(option, painter, widget)) return;
      break;
    case CE_MenuItem:
      if (DrawMenuItem(option, painter, widget)) return;
      break;
    case CE_HeaderSection: {
      const SkinPart* part = Part("header");
      if (!part) part = Part("button");
      if (part) {
        part->Look(StateOf(option->state)).Draw(*painter, option->rect);
        return;
      }
      break;
    }
    case CE_HeaderLabel: {
      const SkinPart* part = Part("header");
      if (!part) part = Part("button");
      const auto* header = qstyleoption_cast<const QStyleOptionHeader*>(option);
      if (part && header) {
        QStyleOptionHeader copy(*header);
        copy.palette = WithText(copy.palette, part->FontColor(StateOf(option->state)));
        QProxyStyle::drawControl(element, &copy, painter, widget);
        return;
      }
      break;
    }
    case CE_ComboBoxLabel:
      if (const SkinPart* part = PartOf(widget, "combobox")) {
        if (const auto* combo = qstyleoption_cast<const QStyleOptionComboBox*>(option)) {
          QStyleOptionComboBox copy(*combo);
          copy.palette = WithText(copy.palette, part->FontColor(StateOf(option->state)));
          QProxyStyle::drawControl(element, &copy, painter, widget);
          return;
        }
      }
      break;
    case CE_ShapedFrame:
      if (const SkinPart* part = PartOf(widget, nullptr)) {
        // Panels are painted whole before their paint event; scroll areas (lists, the memo)
        // get their look here, behind the rows.
        if (!IsPanelPainted(widget)) {
          part->Look(StateOf(option->state, false)).Draw(*painter, option->rect);
        }
        return;
      }
      break;
    case CE_TabBarTabShape:
      if (const SkinPart* part = PartOf(widget, "tab")) {
        const SkinState state = !(option->state & State_Enabled)    ? SkinState::Disabled
                                : (option->state & State_Selected)  ? SkinState::Down
                                : (option->state & State_MouseOver) ? SkinState::Active
                                                                    : SkinState::Normal;
        part->Look(state).Draw(*painter, option->rect);
        return;
      }
      break;
    case CE_TabBarTabLabel:
      if (const SkinPart* part = PartOf(widget, "tab")) {
        if (const auto* tab = qstyleoption_cast<const QStyleOptionTab*>(option)) {
          QStyleOptionTab copy(*tab);
          const SkinState state =
              (option->state & State_Selected) ? SkinState::Down : StateOf(option->state);
          copy.palette = WithText(copy.palette, part->FontColor(state));
          QProxyStyle::drawControl(element, &copy, painter, widget);
          return;
        }
      }
      break;
    default:
      break;
  }
  QProxyStyle::drawControl(element, option, painter, widget);
}

// --- Complex controls -------------------------------------------------------------------------

bool TSkinStyle::DrawScrollBar(const QStyleOptionComplex* option, QPainter* painter,
                               const QWidget* widget) const {
  const auto* bar = qstyleoption_cast<const QStyleOptionSlider*>(option);
  if (!bar) return false;
  const SkinPart* part =
      PartOf(widget, bar->orientation == Qt::Horizontal ? "hscrollbar" : "vscrollbar");
  if (!part) return false;

  const SubControls groove = SC_ScrollBarGroove | SC_ScrollBarAddPage | SC_ScrollBarSubPage;
  if (!part->track.IsNull()) {
    part->track.Draw(*painter, subControlRect(CC_ScrollBar, bar, SC_ScrollBarGroove, widget));
  } else {
    QStyleOptionSlider copy(*bar);
    copy.subControls = bar->subControls & groove;
    QProxyStyle::drawComplexControl(CC_ScrollBar, &copy, painter, widget);
  }

  const bool vertical = bar->orientation == Qt::Vertical;
  struct Piece {
    SubControl control;
    PrimitiveElement arrow;
  };
  const Piece pieces[] = {
      {SC_ScrollBarSubLine, vertical ? PE_IndicatorArrowUp : PE_IndicatorArrowLeft},
      {SC_ScrollBarAddLine, vertical ? PE_IndicatorArrowDown : PE_IndicatorArrowRight},
      {SC_ScrollBarSlider, PE_CustomBase},
  };
  for (const Piece& piece : pieces) {
    if (!(bar->subControls & piece.control)) continue;
    const QRect rect = subControlRect(CC_ScrollBar, bar, piece.control, widget);
    if (rect.isEmpty()) continue;
    SkinState state = SkinState::Normal;
    if (!(bar->state & State_Enabled))
      state = SkinState::Disabled;
    else if (bar->activeSubControls & piece.control)
      state = (bar->state & State_Sunken)      ? SkinState::Down
              : (bar->state & State_MouseOver) ? SkinState::Active
                                               : SkinState::Normal;
    part->Look(state).Draw(*painter, rect);
    if (piece.arrow == PE_CustomBase) continue;
    QStyleOption arrow(*bar);
    arrow.rect =
        rect.adjusted(rect.width() / 4, rect.height() / 4, -rect.width() / 4, -rect.height() / 4);
    arrow.palette = WithText(arrow.palette, part->FontColor(state));
    proxy()->drawPrimitive(piece.arrow, &arrow, painter, widget);
  }
  return true;
}

bool TSkinStyle::DrawComboBox(const QStyleOptionComplex* option, QPainter* painter,
                              const QWidget* widget) const {
  const auto* combo = qstyleoption_cast<const QStyleOptionComboBox*>(option);
  const SkinPart* part = PartOf(widget, "combobox");
  if (!combo || !part) return false;
  const SkinState state = StateOf(option->state);
  part->Look(state).Draw(*painter, option->rect);
  if (combo->subControls & SC_ComboBoxArrow) {
    QStyleOption arrow(*combo);
    const QRect rect = subControlRect(CC_ComboBox, combo, SC_ComboBoxArrow, widget);
    arrow.rect =
        rect.adjusted(rect.width() / 4, rect.height() / 4, -rect.width() / 4, -rect.height() / 4);
    arrow.palette = WithText(arrow.palette, part->FontColor(state));
    proxy()->drawPrimitive(PE_IndicatorArrowDown, &arrow, painter, widget);
  }
  return true;
}

bool TSkinStyle::DrawGroupBox(const QStyleOptionComplex* option, QPainter* painter,
                              const QWidget* widget) const {
  const auto* group = qstyleoption_cast<const QStyleOptionGroupBox*>(option);
  const SkinPart* part = PartOf(widget, "groupbox");
  if (!group || !part) return false;
  // The picture covers the whole box, its caption band included.
  const SkinState state = StateOf(option->state, false);
  part->Look(state == SkinState::Active ? SkinState::Normal : state).Draw(*painter, option->rect);
  if ((group->subControls & SC_GroupBoxLabel) && !group->text.isEmpty()) {
    const QRect label = subControlRect(CC_GroupBox, group, SC_GroupBoxLabel, widget);
    const QPalette palette = WithText(group->palette, part->FontColor(state));
    drawItemText(painter, label, Qt::TextShowMnemonic | Qt::AlignLeft | int(group->textAlignment),
                 palette, group->state & State_Enabled, group->text, QPalette::WindowText);
  }
  if (group->subControls & SC_GroupBoxCheckBox) {
    QStyleOptionGroupBox copy(*group);
    copy.subControls = SC_GroupBoxCheckBox;
    QProxyStyle::drawComplexControl(CC_GroupBox, &copy, painter, widget);
  }
  return true;
}

void TSkinStyle::drawComplexControl(ComplexControl control, const QStyleOptionComplex* option,
                                    QPainter* painter, const QWidget* widget) const {
  bool drawn = false;
  switch (control) {
    case CC_ScrollBar:
      drawn = DrawScrollBar(option, painter, widget);
      break;
    case CC_ComboBox:
      drawn = DrawComboBox(option, painter, widget);
      break;
    case CC_GroupBox:
      drawn = DrawGroupBox(option, painter, widget);
      break;
    default:
      break;
  }
  if (!drawn) QProxyStyle::drawComplexControl(control, option, painter, widget);
}

// --- Installing a skin ------------------------------------------------------------------------

TSkinStyle* CurrentSkinStyle() {
  return dynamic_cast<TSkinStyle*>(QApplication::style());
}

void InstallSkinStyle(std::shared_ptr<const SkinSource> skin, bool repaint) {
  std::shared_ptr<const SkinLook> look;
  if (skin) {
    // Sections that windows asked for by name beyond the usual ones are cut now as well.
    std::set<std::string> names;
    for (const QWidget* widget : QApplication::allWidgets()) {
      const QVariant own = widget->property(kNameProperty);
      if (own.isValid()) names.insert(own.toString().toLower().toStdString());
    }
    look = SkinLook::Read(*skin, std::vector<std::string>(names.begin(), names.end()));
  }
  TSkinStyle* style = CurrentSkinStyle();
  if (!style) {
    QStyle* base = QStyleFactory::create(QApplication::style()->name());
    if (!base) base = QStyleFactory::create(QStringLiteral("Fusion"));
    // The application's palette (the skin's colours) survives the change of style.
    const QPalette palette = QApplication::palette();
    style = new TSkinStyle(base);
    style->SetLook(std::move(look));
    QApplication::setStyle(style);
    QApplication::setPalette(palette);
  } else {
    style->SetLook(std::move(look));
  }
  if (repaint) RepaintAllWindows();
}

void RemoveSkinStyle(bool repaint) {
  if (TSkinStyle* style = CurrentSkinStyle()) style->SetLook(nullptr);
  if (repaint) RepaintAllWindows();
}

void RepaintAllWindows() {
  for (QWidget* window : QApplication::topLevelWidgets())
    window->update();
}

}  // namespace qelo::ui
