// The platform services the engine asks of the host: opening a URL and the
// Twitter and Facebook share sheets. The checks and the threading live
// here; what a sheet or an opened URL looks like is the front-end's
// (HostServices): a GTK dialog and the user's browser on the desktop, a
// printed line headless, a recorder in tests.
#pragma once

#include <functional>
#include <string>

namespace KelpaHost {

enum class ShareService { Twitter, Facebook };

class HostServices {
public:
    virtual ~HostServices() = default;
    // Main thread: shows the compose sheet with the text; calls `dismissed`
    // once the sheet is gone (posted or cancelled).
    virtual void presentShareSheet(ShareService service, const std::string& text, std::function<void()> dismissed) = 0;
    // Any thread: opens an http or https URL (already checked); never waits
    // for the main thread.
    virtual void openURL(const std::string& url) = 0;
    // Any thread: a URL that was refused.
    virtual void refusedURL(const std::string& url);
};

// Prints what it would show or open, one line each on stdout:
// "share twitter: TEXT", "share facebook: TEXT", "open url: URL",
// "refused url: URL". A sheet is dismissed at once.
class PrintingServices : public HostServices {
public:
    void presentShareSheet(ShareService service, const std::string& text, std::function<void()> dismissed) override;
    void openURL(const std::string& url) override;
    void refusedURL(const std::string& url) override;
};

// The desktop: a GTK compose dialog whose Post opens the service's web
// share page; URLs open in the user's browser.
class DesktopServices : public PrintingServices {
public:
    void presentShareSheet(ShareService service, const std::string& text, std::function<void()> dismissed) override;
    void openURL(const std::string& url) override;
};

// The services in use: the seam in the host state, else the desktop's when
// the application has a display, else the printing ones.
HostServices& hostServices();

// True for an absolute http or https URL with a host and nothing a URL may
// not hold (no spaces or control characters, well-formed escapes).
bool isWebURL(const char* url);

// The service's web share page carrying the text.
std::string shareWebURL(ShareService service, const std::string& text);

// Host functions the engine calls (through its bridge).
// Opens the URL when isWebURL, on the calling thread's behalf without
// waiting; returns false (and reports) otherwise.
bool hostOpenURL(const char* url);
// Posts a block to the main queue that presents the sheet from the root
// view controller; the text is copied.
void hostShareTwitter(const char* text);
void hostShareFacebook(const char* text);

// Installs the bridge that routes the engine's share and open-URL calls to
// the functions above (the ad wishes stay in the bridge).
void installHostServicesBridge();

}  // namespace KelpaHost
