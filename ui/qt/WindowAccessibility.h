#pragma once
// What a screen reader sees of the window: its painted controls as accessible buttons,
// toggles and text, with names, values, states and places, and a press action on each
// button; the weight as a slider of the tempo, one beat per minute a step. Nothing here
// changes what the window does for a mouse or keyboard user.

namespace metro {

class MetronomeWindow;

// Installs the factory that describes every MetronomeWindow; call once, after the
// application object exists.
void installWindowAccessibility();

// After every handler: tells assistive technology what changed that it would not otherwise
// hear of (a key, a drag, the wheel or a mark moves the tempo). Changes are counted from the
// moment it first looked at the window; nothing happens while none listens.
void announceChanges(MetronomeWindow& window);

} // namespace metro
