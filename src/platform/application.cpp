#include "platform/application.h"

#include <cstdio>
#include <typeinfo>

#include "rtl/code_page.h"

namespace kavo {
namespace {

std::atomic<TApplication*> g_application{nullptr};

}  // namespace

TApplication::TApplication(TComponent* owner)
    : TComponent(owner), window_(std::make_unique<HiddenWindow>()) {
  TApplication* none = nullptr;
  g_application.compare_exchange_strong(none, this);
}

TApplication::~TApplication() {
  TApplication* self = this;
  g_application.compare_exchange_strong(self, nullptr);
}

TApplication* Application() { return g_application.load(); }

void TApplication::HandleMessage() {
  Message message;
  if (!Queue()->Get(message)) {
    terminated_ = true;
    return;
  }
  DispatchMessage(message);
}

void TApplication::ShowException(const String& class_name, const String& message) {
  std::string text = StringToAnsi(message);
  if (!text.empty() && text.back() != '.') text += '.';
  std::fprintf(stderr, "%s: %s\n", StringToAnsi(class_name).c_str(), text.c_str());
  std::fflush(stderr);
}

void TApplication::HandleException(TComponent* sender) {
  try {
    throw;
  } catch (const EAbort&) {
  } catch (const Exception& e) {
    if (OnException)
      OnException(sender, e);
    else
      ShowException(e.ClassName(), e.Message());
  } catch (const std::exception& e) {
    ShowException(AsciiToString(typeid(e).name()), Utf8ToString(e.what()));
  } catch (...) {
    ShowException(u"Exception", u"Unknown exception");
  }
}

void HandleApplicationException(TComponent* sender) {
  if (TApplication* app = Application()) {
    app->HandleException(sender);
    return;
  }
  try {
    throw;
  } catch (const EAbort&) {
  } catch (const Exception& e) {
    TApplication::ShowException(e.ClassName(), e.Message());
  } catch (...) {
    TApplication::ShowException(u"Exception", u"Unknown exception");
  }
}

}  // namespace kavo
