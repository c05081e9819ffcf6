// String-table numbers of the messages (resources/strings.rc holds the texts).
#pragma once

enum MessageId {
  kMsgSelectFolder = 100,        // "Select destination folder"
  kMsgExtracting = 101,          // "Extracting %s"
  kMsgSkipping = 102,            // "Skipping %s"
  kMsgUnexpectedEnd = 103,       // "Unexpected end of archive"
  kMsgHeaderCorrupt = 104,       // "The file "%s" header is corrupt"
  kMsgCommentHeaderCorrupt = 105,
  kMsgCommentCorrupt = 106,      // "The archive comment is corrupt"
  kMsgNoMemory = 107,            // "Not enough memory"
  kMsgUnknownMethod = 108,       // "Unknown method in %s"
  kMsgCannotOpen = 109,          // "Cannot open %s"
  kMsgCannotCreate = 110,        // "Cannot create %s"
  kMsgCannotCreateFolder = 111,  // "Cannot create folder %s"
  kMsgCrcFailedEncrypted = 112,  // "CRC failed in the encrypted file %s (wrong password ?)"
  kMsgCrcFailed = 113,           // "CRC failed in %s"
  kMsgPackedCrcFailed = 114,
  kMsgWrongPassword = 115,       // "Wrong password for %s"
  kMsgWriteError = 116,          // "Write error in the file %s. Probably the disk is full"
  kMsgReadError = 117,           // "Read error in the file %s"
  kMsgCloseError = 118,          // "File close error"
  kMsgVolumeAbsent = 119,
  kMsgUnknownFormat = 120,       // "The archive is either in unknown format or damaged"
  kMsgExtractingFrom = 121,
  kMsgNextVolume = 123,
  kMsgArchiveHeaderCorrupt = 124,
  kMsgClose = 125,               // "Close"
  kMsgError = 126,               // "Error"
  kMsgErrorsEncountered = 127,
  kMsgBytes = 128,               // "bytes"
  kMsgModifiedOn = 129,          // "modified on"
  kMsgFolderNotAccessible = 130, // "folder is not accessible"
  kMsgFilesNotCreated = 131,
  kMsgFilesCorrupt = 132,
  kMsgAllFiles = 133,
  kMsgCannotStart = 134,         // "Cannot start %s"
  kMsgArgumentsRefused = 135,    // "The arguments given to the installer cannot be passed safely to %s"
  kMsgLogNotNew = 136,           // "Cannot create the log file %s: ... only writes a log file it makes new"
  kMsgHelpFirst = 150,           // 150..155: the default descriptive text
  kMsgHelpLast = 155,
  kMsgSeekError = 516,           // no text in the table: translated empty text
};
