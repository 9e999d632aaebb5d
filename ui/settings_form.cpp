#include "ui/settings_form.h"

#include <cstring>
#include <limits>

#include "ui/control_ids.h"

namespace tarnu {
namespace {

// Texts held in fixed fields may lack their terminator in a damaged file.
std::string FieldText(const char* field, std::size_t size) {
  const void* nul = std::memchr(field, 0, size);
  return std::string(field, nul != nullptr ? static_cast<const char*>(nul) - field : size);
}

}  // namespace

SettingsForm LoadSettingsForm(const AppSettings& settings) {
  SettingsForm form;
  form.periodic_check = settings.periodic_check == 1;
  form.interval = std::to_string(settings.interval);
  form.no_check_at_start = settings.no_check_at_start == 1;
  form.quote = FieldText(settings.quote, sizeof settings.quote);
  form.auto_open = settings.auto_open == 1;
  form.no_position_restore = settings.no_position_restore == 1;
  form.no_history_at_start = settings.no_history_at_start == 1;
  form.font = settings.font;
  form.font_colour = settings.font_colour;
  return form;
}

FormCheck Validate(const SettingsForm& form) {
  FormCheck failure;
  std::int32_t interval = 0;
  if (!CheckInteger(form.interval, kMinInterval, std::numeric_limits<std::int32_t>::max(),
                    IDC_INTERVAL, &interval, &failure) ||
      !CheckLength(form.quote, kQuoteLimit, IDC_QUOTE, &failure)) {
    return failure;
  }
  return FormCheck::Passed();
}

bool StoreSettingsForm(const SettingsForm& form, AppSettings* settings) {
  if (!Validate(form).ok) return false;
  std::int64_t interval = 0;
  ParseInteger(form.interval, &interval);
  settings->interval = static_cast<std::int32_t>(interval);
  settings->periodic_check = form.periodic_check ? 1 : 0;
  settings->no_check_at_start = form.no_check_at_start ? 1 : 0;
  settings->auto_open = form.auto_open ? 1 : 0;
  settings->no_position_restore = form.no_position_restore ? 1 : 0;
  settings->no_history_at_start = form.no_history_at_start ? 1 : 0;
  settings->font = form.font;
  settings->font.face_name[sizeof settings->font.face_name - 1] = '\0';
  settings->font_colour = form.font_colour;
  std::memset(settings->quote, 0, sizeof settings->quote);
  std::size_t n =
      form.quote.size() < sizeof settings->quote ? form.quote.size() : sizeof settings->quote - 1;
  std::memcpy(settings->quote, form.quote.data(), n);
  return true;
}

std::string FontNameText(const LogFont& font) {
  std::string face = FieldText(font.face_name, sizeof font.face_name);
  return face.empty() ? std::string("(未設定)") : face;
}

}  // namespace tarnu
