#pragma once

// What the hyperlink control does, written once for every toolkit: its style flags, its colours,
// its state changes, the arithmetic of fitting it to its text, and the sequences of its set-up,
// its style changes, its messages and the opening of its target. The wx control and the Win32
// control derive from LinkState; each supplies the small window operations below and keeps only
// the glue to its toolkit's messages.

#include "frontend/message_box.h"
#include "platform/desktop/desktop.h"

#include <cstdint>
#include <string>

namespace quaverly {

// A colour as the link stores it: 0x00BBGGRR, red in the low byte.
using ColorRef = std::uint32_t;

constexpr ColorRef Rgb(unsigned red, unsigned green, unsigned blue) noexcept {
    return (red & 0xFFU) | ((green & 0xFFU) << 8U) | ((blue & 0xFFU) << 16U);
}

// A rectangle by its top-left corner and size, and a text extent, in pixels.
struct LinkRect {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
    friend bool operator==(const LinkRect&, const LinkRect&) = default;
};
struct LinkSize {
    int cx = 0;
    int cy = 0;
};

// The alignment bits of a static control's style that fitting reads.
struct FitAlignment {
    bool centreHorizontal = false;
    bool right = false;
    bool centreVertical = false;
};

// The rectangle of a control fitted to a text extent, from its window rectangle in the parent's
// client coordinates: a left-aligned control keeps its left edge, a right-aligned one its right
// edge, a centred one its centre line (the odd pixel of an odd difference goes the way integer
// division toward zero sends it). The result is client-sized; the caller adds the frame back.
LinkRect FitRectToText(const LinkRect& window, const LinkSize& extent,
                       const FitAlignment& alignment) noexcept;

// What ChangeStyleFlags has to bring up to date on a control that has a window.
struct StyleChangeEffects {
    bool font = false;   // either mask holds LinkUnderline: a new link font
    bool fit = false;    // the add mask holds LinkFitToText
    bool redraw = false; // the remove mask holds LinkHoverColour
};

// What a pointer move over the control did to the hover state.
enum class HoverChange {
    None,
    Entered, // now hovering: redraw and take the mouse capture
    Left,    // no longer hovering: release the capture and redraw
};

class LinkState {
public:
    // Style flags.
    static constexpr std::uint32_t LinkUnderline = 0x01;     // 0b0000001 underlined font
    static constexpr std::uint32_t LinkHoverColour = 0x02;   // 0b0000010 s_crHover under pointer
    static constexpr std::uint32_t LinkFitToText = 0x04;     // 0b0000100 size follows the text
    static constexpr std::uint32_t LinkOpenOnPress = 0x08;   // 0b0001000 open on button down
    static constexpr std::uint32_t LinkFocusOnClick = 0x10;  // 0b0010000 a press takes focus
    static constexpr std::uint32_t LinkNoCursorLoad = 0x20;  // 0b0100000 leave the cursor alone
    static constexpr std::uint32_t LinkNoFocusColour = 0x40; // 0b1000000 engaged looks normal

    static constexpr std::uint32_t kDefaultStyleFlags =
        LinkUnderline | LinkFitToText | LinkFocusOnClick;

    // Stands for the system highlight colour in SetLinkColours.
    static constexpr ColorRef kSystemHighlight = 0xFFFFFFFFU;

    virtual ~LinkState() = default;
    LinkState(const LinkState&) = delete;
    LinkState& operator=(const LinkState&) = delete;

    // Clears the `remove` flags and sets the `add` flags; false, changing nothing, when the
    // masks overlap. With `apply`, a control that has its window takes the changed underline,
    // fit or hover colour at once.
    bool ChangeStyleFlags(std::uint32_t remove, std::uint32_t add, bool apply);

    // Where FollowLink opens the target and reports a failure. Without this call, the system's
    // desktop and the toolkit's application message box.
    void SetLaunchServices(platform::Desktop& desktop, frontend::MessageBoxService& boxes) noexcept;

    // Opens the target; beeps and reports a failure, or marks the link visited.
    void FollowLink();

    void MarkVisited(bool visited) noexcept { m_bVisited = visited; }

    bool IsEngaged() const noexcept { return m_bEngaged; }
    bool IsHovering() const noexcept { return m_bHover; }
    bool IsVisited() const noexcept { return m_bVisited; }
    std::uint32_t GetStyleFlags() const noexcept { return m_dwStyleFlags; }
    const std::string& GetTarget() const noexcept { return m_strTarget; }

    // The colour of the next drawing, by the state: hover beats engaged beats visited.
    ColorRef TextColour() const noexcept;

    static ColorRef LinkColour() noexcept { return s_crLink; }
    static ColorRef FocusColour() noexcept { return s_crFocus; }
    static ColorRef VisitedColour() noexcept { return s_crVisited; }
    static ColorRef HoverColour() noexcept { return s_crHover; }

protected:
    LinkState() = default;

    // The colours of every link of the process; a hover colour of kSystemHighlight stores
    // `highlightNow`, the toolkit's highlight colour of this moment.
    static void StoreLinkColours(ColorRef link, ColorRef focus, ColorRef visited, ColorRef hover,
                                 ColorRef highlightNow) noexcept;

    // Changes the flags; false, changing nothing, when the masks overlap.
    bool ChangeFlags(std::uint32_t remove, std::uint32_t add) noexcept;
    static StyleChangeEffects EffectsOfStyleChange(std::uint32_t remove,
                                                   std::uint32_t add) noexcept;

    bool Underlined() const noexcept { return (m_dwStyleFlags & LinkUnderline) != 0; }
    bool FitsToText() const noexcept { return (m_dwStyleFlags & LinkFitToText) != 0; }
    bool LoadsCursor() const noexcept { return (m_dwStyleFlags & LinkNoCursorLoad) == 0; }
    // A control without a font is not fitted.
    void NoFontToFit() noexcept { m_dwStyleFlags &= ~LinkFitToText; }

    // The state table's rows.
    HoverChange PointerMoved(bool insideClient) noexcept;
    void FocusGained() noexcept { m_bEngaged = true; }
    void FocusLost() noexcept {
        m_bHover = false;
        m_bEngaged = false;
    }
    bool TakesFocusOnPress() const noexcept { return (m_dwStyleFlags & LinkFocusOnClick) != 0; }
    bool OpensOnPress() const noexcept { return (m_dwStyleFlags & LinkOpenOnPress) != 0; }
    void Pressed() noexcept { m_bEngaged = true; }
    bool OpensOnRelease() const noexcept {
        return m_bEngaged && (m_dwStyleFlags & LinkOpenOnPress) == 0;
    }
    void Followed() noexcept { m_bVisited = true; }

    // Set-up once the control has its window: target and text from each other, the link font
    // from the control's font, the fitting, the cursor and the tooltip.
    void PreSubclassWindow();
    // Sizes the control to its text in the link font, when it fits to its text.
    void FitToText();

    // What the control's messages do. OnKeyDown is true when the key was the link's (Space);
    // any other key goes on to the toolkit's default handling.
    void OnLButtonDown();
    void OnLButtonUp();
    void OnSetFocus();
    void OnKillFocus();
    void OnMouseMove(bool insideClient);
    bool OnKeyDown(bool space);

    // The window operations each toolkit supplies.
    virtual bool HasLinkWindow() const = 0;
    virtual std::string LinkText() const = 0;
    virtual void SetLinkText(const std::string& text) = 0;
    virtual bool HasWindowFont() const = 0;
    // Makes the link font from the window's font with the underline given; false, keeping the
    // link font it had, when that fails.
    virtual bool MakeLinkFont(bool underlined) = 0;
    // Gives the window the link font.
    virtual void UseLinkFont() = 0;
    virtual void ShowLink(bool shown) = 0;
    // The window rectangle in the parent's client coordinates.
    virtual LinkRect WindowRectInParent() const = 0;
    virtual LinkSize LinkClientSize() const = 0;
    // The extent of the window's text drawn in the link font.
    virtual LinkSize TextExtentInLinkFont() const = 0;
    virtual FitAlignment TextAlignment() const = 0;
    // Moves and sizes the window (the rectangle includes the frame) and redraws it.
    virtual void MoveLink(const LinkRect& window) = 0;
    virtual void RedrawLink() = 0;
    virtual void TakeFocus() = 0;
    virtual void CapturePointer() = 0;
    virtual void ReleasePointer() = 0;
    // Loads the hand cursor that every link of the process shows, unless it is loaded.
    virtual void LoadLinkCursor() = 0;
    virtual void CreateLinkTip(const std::string& text) = 0;
    virtual void Beep() = 0;
    // The box that reports a failure when nobody gave the link one.
    virtual frontend::MessageBoxService& DefaultMessageBox() = 0;

    bool m_bEngaged = false;
    bool m_bHover = false;
    bool m_bVisited = false;
    std::uint32_t m_dwStyleFlags = kDefaultStyleFlags;
    std::string m_strTarget;

    static ColorRef s_crLink;
    static ColorRef s_crFocus;
    static ColorRef s_crVisited;
    static ColorRef s_crHover;

private:
    platform::Desktop* m_desktop = nullptr;
    frontend::MessageBoxService* m_boxes = nullptr;
};

} // namespace quaverly

// Declares LinkState's window operations in the class of a control, which defines them: the list
// is spelled here once, beside the pure virtual functions it overrides.
#define QUAVERLY_LINK_WINDOW_OPERATIONS()                                                          \
    bool HasLinkWindow() const override;                                                           \
    std::string LinkText() const override;                                                         \
    void SetLinkText(const std::string& text) override;                                            \
    bool HasWindowFont() const override;                                                           \
    bool MakeLinkFont(bool underlined) override;                                                   \
    void UseLinkFont() override;                                                                   \
    void ShowLink(bool shown) override;                                                            \
    ::quaverly::LinkRect WindowRectInParent() const override;                                      \
    ::quaverly::LinkSize LinkClientSize() const override;                                          \
    ::quaverly::LinkSize TextExtentInLinkFont() const override;                                    \
    ::quaverly::FitAlignment TextAlignment() const override;                                       \
    void MoveLink(const ::quaverly::LinkRect& window) override;                                    \
    void RedrawLink() override;                                                                    \
    void TakeFocus() override;                                                                     \
    void CapturePointer() override;                                                                \
    void ReleasePointer() override;                                                                \
    void LoadLinkCursor() override;                                                                \
    void CreateLinkTip(const std::string& text) override;                                          \
    void Beep() override;                                                                          \
    ::quaverly::frontend::MessageBoxService& DefaultMessageBox() override
