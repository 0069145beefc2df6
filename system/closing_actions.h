// The closing actions after a successful extraction: Start-menu group, links, features page.
#pragma once

void RunClosingActions();
