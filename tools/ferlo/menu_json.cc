#include "tools/ferlo/menu_json.h"

#include "extension/command_table.h"
#include "tools/ferlo/json_output.h"

namespace ferlo::cli {
namespace {

void writeMenu(JsonWriter& w, const Menu& menu);

void writeItem(JsonWriter& w, const MenuItem& item) {
  w.beginObject();
  w.key("title");
  w.string(item.title);
  w.key("enabled");
  w.boolean(item.enabled);
  w.key("separator");
  w.boolean(item.isSeparator);
  w.key("tag");
  w.integer(item.tag);
  w.key("keyEquivalent");
  w.string(item.keyEquivalent);
  if (item.action != Selector::none) {
    w.key("action");
    w.string(selectorName(item.action));
  }
  if (item.targetsPrincipal) {
    w.key("target");
    w.string("principal");
  }
  if (item.representedObject) {
    w.key("representedObject");
    w.string(*item.representedObject);
  }
  if (item.attributedTitle) {
    w.key("attributedTitle");
    w.beginObject();
    w.key("string");
    w.string(item.attributedTitle->string);
    w.key("font");
    w.string("systemFont:smallSystemFontSize:semibold");
    w.key("foregroundColor");
    w.string("secondaryLabelColor");
    w.endObject();
  }
  if (item.image) {
    w.key("image");
    w.beginObject();
    w.key("name");
    w.string(item.image->name);
    w.key("width");
    w.number(item.image->width);
    w.key("height");
    w.number(item.image->height);
    w.key("template");
    w.boolean(item.image->isTemplate);
    w.endObject();
  }
  if (item.submenu) {
    w.key("submenu");
    writeMenu(w, *item.submenu);
  }
  w.endObject();
}

void writeMenu(JsonWriter& w, const Menu& menu) {
  w.beginObject();
  w.key("title");
  w.string(menu.title);
  w.key("items");
  w.beginArray();
  for (const MenuItem& item : menu.items) writeItem(w, item);
  w.endArray();
  w.endObject();
}

}  // namespace

std::string menuJson(const Menu& menu, bool pretty) {
  JsonWriter w(programJson(pretty));
  writeMenu(w, menu);
  return *w.finish();
}

}  // namespace ferlo::cli
