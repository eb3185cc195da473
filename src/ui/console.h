// The console: one text-entry window with a scrolling log and a typed command line. Lines whose
// first word is a registered command run that command; any other line goes to the chat hook.
#pragma once

#include <cstdint>

class CNztWnd;
class CNztWnd_Edit;

extern CNztWnd_Edit* ConsoleWnd;

// Sends a chat line to every connected player; installed by the layer that owns the network
// client. Null: chat lines only stay in the log.
extern void (*ConsoleChatHook)(const char* line);

// Creates the console window, hidden, at the bottom-left of the screen (x 2, y screen height - 60,
// 450 by 50). Nothing when it exists already. Answers the window.
CNztWnd_Edit* CreateConsoleWnd();
// Appends a command to the console's table (nothing without a console).
void AddConsoleCommand(const char* name, const char* help, void (*handler)(const char* word, const char* argument));
// Writes a line into the console: it replaces the input line, then a new input line starts.
void ConsolePrint(const char* text);
// The fallback handler: the whole line to the chat hook.
void OnConsoleChat(const char* line, const char* argument);
uint32_t ConsoleWndCallback(uint32_t message, CNztWnd* window, float a, float b, float c);
// Shows or hides the console; showing it gives it the focus.
void ToggleConsole();
