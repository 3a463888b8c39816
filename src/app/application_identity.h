#pragma once

// The application's name and version, as the command line and the window system show them.
void SetApplicationIdentity();
