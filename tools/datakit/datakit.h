#pragma once
// Writers for the engine's data formats, used by tests, fuzz seeds and makedata.
