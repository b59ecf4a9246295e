#pragma once

// Shows the files of a FILEOUT run to the user.
void DeliverOutput();
