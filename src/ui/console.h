// The console window and its commands.
#pragma once

class CNztWnd;

extern CNztWnd* ConsoleWnd;

void RegisterConsoleCommands();
