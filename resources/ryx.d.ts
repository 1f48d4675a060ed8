// Type declarations for window.ryx, the bridge between a Velmora app's pages and the runtime.
//
// Every method posts one request to the runtime and returns a promise that settles with the
// runtime's reply: it resolves with the reply's result, or rejects with the error text (a
// string such as "Missing filePath"). A method whose required argument is missing rejects; a
// method called without its argument object, or with something that is not an object, posts no
// arguments at all and its promise never settles.
//
// Paths given to the file and folder commands are used as they are when absolute; a relative
// path is taken relative to the folder of the app's executable (forward slashes are allowed).
//
// Text arguments also accept numbers and booleans, which are read as their JSON text.

/** A text argument: numbers and booleans are read as their JSON text. */
type RyxText = string | number | boolean;
/** A flag argument: true or false, or a text read as a boolean ("true", "false", a number). */
type RyxFlag = boolean | string | number;

interface RyxFileDialogOptions {
  /** The file name the dialog starts with. Default: empty. */
  fileName?: RyxText;
  /** The dialog's caption. Default: "Open file" or "Save file". */
  title?: RyxText;
  /**
   * File types as "Name|mask" entries separated by ";", for example
   * "Text files|*.txt;All files|*.*". One entry holds one mask. Default: none.
   */
  fileTypes?: RyxText;
}

interface RyxSaveDialogOptions extends RyxFileDialogOptions {
  /** Ask before replacing an existing file. Default: false. */
  overwritePrompt?: RyxFlag;
}

interface RyxFilePath {
  /** The file's path (required). */
  filePath: RyxText;
}

interface RyxDirPath {
  /** The folder's path (required). */
  dirPath: RyxText;
}

interface RyxWriteTextFileOptions extends RyxFilePath {
  /**
   * The text. It is written as UTF-8 with a byte-order mark and CR LF after every line; a NUL
   * character ends it. Default: empty (a file holding only the byte-order mark).
   */
  contents?: RyxText;
}

interface RyxExtractFileOptions {
  /**
   * The file's path inside the app folder, appended to the folder's name as it is: start it
   * with "/" ("/img/logo.png"). Required.
   */
  sourceFile: RyxText;
  /** Where to write it; a relative path is relative to the process's current folder. Required. */
  targetFile: RyxText;
}

interface RyxBase64ToFileOptions extends RyxFilePath {
  /** Standard base64 (with "=" padding). Default: empty (an empty file). */
  contents?: RyxText;
}

interface RyxExecuteOptions extends RyxFilePath {
  /** The program's command-line arguments. Default: empty. */
  arguments?: RyxText;
}

interface RyxCommandOptions {
  /** The command line, run by the system's shell (required). */
  command: RyxText;
  /** The folder it runs in. Default: the runtime's current folder. */
  workingDir?: RyxText;
  /** Show a console window for it (Windows). Default: false. */
  showWindow?: RyxFlag;
}

/** One item of the native menu bar, as its JSON is read by mainMenu.setItems. */
interface RyxMenuItem {
  /** The caption: "-" draws a separator, "&" marks the access key. */
  caption: string | number | boolean;
  /** The id given to onMainMenuItemClick (a 32-bit integer, or a text holding one). */
  id: number | string;
  /** Default: true. */
  enabled?: boolean | string | number;
  /** An image: an archive path ("app/img/open.png") or a file path. */
  image?: string;
  /** Sub-items: the item opens a submenu and raises no click. */
  items?: RyxMenuItem[];
}

interface RyxSetMenuItemsOptions {
  /** The JSON text of an array of menu items: JSON.stringify(items) (required). */
  items: string;
}

interface RyxUpdateMenuItemOptions {
  /** The id of the item to change (required). */
  id: number | string;
  caption?: RyxText;
  enabled?: RyxFlag;
  image?: RyxText;
}

/** One entry of folders.list. */
interface RyxFolderEntry {
  name: string;
  isDir: boolean;
  /** In bytes; 0 for folders. */
  size: number;
  /** The last change, ISO 8601 in UTC ("2026-12-11T18:08:04Z"); null when the system gives none. */
  modified: string | null;
}

/** The main window's place, client size and state. */
interface RyxWindowBounds {
  left: number;
  top: number;
  width: number;
  height: number;
  state: 'normal' | 'minimized' | 'maximized';
}

type RyxWindowStyle = 'normal' | 'ontop';
type RyxWindowState = 'normal' | 'minimized' | 'maximized';

interface Ryx {
  /**
   * Posts request funcID with args as its "data" and settles with the reply. The named methods
   * below are this call with their command's id.
   */
  call(funcID: number, args?: object): Promise<unknown>;
  /** Resolves with the runtime's version text, "2021.43". Call it as ryx.hello(). */
  hello(): Promise<string>;
  /** Resolves with true inside the packaged runtime. Call it as ryx.isRuntime(). */
  isRuntime(): Promise<boolean>;

  dialogs: {
    /** The chosen file's full path, or "" when the user cancels. */
    openFile(args: RyxFileDialogOptions): Promise<string>;
    /** The chosen file's full path, or "" when the user cancels. Nothing is written. */
    saveFile(args: RyxSaveDialogOptions): Promise<string>;
  };

  files: {
    /** Whether a file (not a folder) exists there. Rejects: "Missing filePath". */
    fileExists(args: RyxFilePath): Promise<boolean>;
    /** Whether the file was deleted. Rejects: "Missing filePath". */
    deleteFile(args: RyxFilePath): Promise<boolean>;
    /** Writes the text, creating missing folders. Rejects: "Missing filePath", or why writing failed. */
    writeTextFile(args: RyxWriteTextFileOptions): Promise<true>;
    /**
     * Writes a file of the app's bundle to disk. Rejects: "Missing sourceFile",
     * "Missing targetFile", "File not found", or why extracting failed.
     */
    extractFile(args: RyxExtractFileOptions): Promise<true>;
    /**
     * The text of a UTF-8 file (a byte-order mark removed, line ends as written), at most 64 MiB.
     * Rejects: "Missing filePath", or why reading failed (a file that is not UTF-8 included).
     */
    readTextFile(args: RyxFilePath): Promise<string>;
    /** The bytes of a file as standard base64, at most 64 MiB. Rejects: "Missing filePath", or why reading failed. */
    readBase64(args: RyxFilePath): Promise<string>;
  };

  folders: {
    /** Whether a folder exists there. Rejects: "Missing dirPath". */
    dirExists(args: RyxDirPath): Promise<boolean>;
    /** Deletes the folder with everything in it; whether it worked. Rejects: "Missing dirPath". */
    deleteDir(args: RyxDirPath): Promise<boolean>;
    /** The user's temporary folder, with a trailing separator. */
    getTempDir(): Promise<string>;
    /** The user's documents folder, with a trailing separator. */
    getUserDocumentsDir(): Promise<string>;
    /** The user's desktop folder, with a trailing separator. */
    getUserDesktopDir(): Promise<string>;
    /** The folder of the app's executable, with a trailing separator. */
    getAppExecutableDir(): Promise<string>;
    /** The user's application-data folder itself (no folder of the app's own), with a trailing separator. */
    getAppDataDir(): Promise<string>;
    /**
     * What the folder directly holds: folders first, then files, each by name. Rejects:
     * "Missing dirPath", or why listing failed.
     */
    list(args: RyxDirPath): Promise<RyxFolderEntry[]>;
  };

  app: {
    /** Closes the window and ends the app. Never settles. */
    close(): Promise<never>;
    /** Whether the window is in the full screen mode of enterFullscreen (or started in it). */
    inFullscreen(): Promise<boolean>;
    /** Borderless and maximized. Never settles. */
    enterFullscreen(): Promise<never>;
    /** Back to a normal window with the border of the settings. Never settles. */
    exitFullscreen(): Promise<never>;
    /** The command-line arguments the app was started with (its own path left out). */
    getArgs(): Promise<string[]>;
  };

  window: {
    getStyle(): Promise<RyxWindowStyle>;
    /** "ontop" keeps the window above others; anything else is normal. Default: "normal". */
    setStyle(args: { style?: RyxText }): Promise<true>;
    getState(): Promise<RyxWindowState>;
    /** "normal", "minimized" or "maximized" (exactly); anything else changes nothing. */
    setState(args: { state?: RyxText }): Promise<true>;
    /** The window's caption. */
    getTitle(): Promise<string>;
    /** Sets the caption. Default: empty. */
    setTitle(args: { title?: RyxText }): Promise<true>;
    /** Where the window is (outer corner) and the size of its client area, and its state. */
    getBounds(): Promise<RyxWindowBounds>;
    /** Moves and sizes the window; keys left out (or not integers, or sizes below 1) stay as they are. */
    setBounds(args: { left?: RyxText; top?: RyxText; width?: RyxText; height?: RyxText }): Promise<true>;
  };

  shell: {
    /** Opens a file or program with the system. Rejects: "Missing filePath", or the system's message. */
    execute(args: RyxExecuteOptions): Promise<true>;
    /** Shows a folder (or a file's folder) in the file manager. Rejects: "Missing filePath", or the system's message. */
    explore(args: RyxFilePath): Promise<true>;
    /**
     * Runs a command line and resolves with what it printed, once it has ended (its exit code is
     * not reported). Rejects: "Missing command", or why it could not run.
     */
    command(args: RyxCommandOptions): Promise<string>;
    /** The titles of the desktop's top-level windows. */
    windows(): Promise<string[]>;
  };

  themes: {
    /** The active theme's name ("Windows" is the system look). */
    getTheme(): Promise<string>;
    /** Every theme's name, sorted. */
    getThemes(): Promise<string[]>;
    /**
     * Switches the theme (names compared ignoring letter case). True when the theme is now the
     * one named, written exactly so; false when none matched or only another letter case did.
     */
    setTheme(args: { name?: RyxText }): Promise<boolean>;
  };

  base64: {
    /** Writes the decoded bytes, creating missing folders. Rejects: "Missing filePath", or why it failed. */
    decodeToFile(args: RyxBase64ToFileOptions): Promise<true>;
  };

  system: {
    /** Ends the user's session, closing every program without asking. Rejects: the system's message. */
    logoff(): Promise<true>;
    /** Restarts the machine, closing every program without asking. Rejects: the system's message. */
    reboot(): Promise<true>;
    /** Turns the machine off, closing every program without asking. Rejects: the system's message. */
    shutdown(): Promise<true>;
  };

  mainMenu: {
    /**
     * Replaces the window's menu bar. Rejects: "Missing menu items", "Wrong menu items JSON",
     * "Wrong menu item JSON".
     */
    setItems(args: RyxSetMenuItemsOptions): Promise<true>;
    /** Changes one item. Rejects: "Missing item ID", "Wrong item ID", "No menu items". */
    updateItem(args: RyxUpdateMenuItemOptions): Promise<true>;
  };

  /** Called by the runtime; assign your own functions to change what they do. */
  events: {
    /**
     * Called each time the user asks the window to close. The default calls ryx.app.close();
     * a replacement keeps the window open until it calls ryx.app.close() itself.
     */
    onCloseQuery: () => void;
    /** Called with the item's id when the user clicks an item of the menu bar. Default: nothing. */
    onMainMenuItemClick: (itemId: number) => void;
    /**
     * Called with a later start's command-line arguments: the app runs once (unless
     * AllowInstances=1), and a second start hands its arguments here before it ends, so the
     * running app can open the file it was given. Linux only for now. Default: nothing.
     */
    onSecondInstance: (args: string[]) => void;
  };
}

/** The bridge, also reachable as window.ryx. */
declare var ryx: Ryx;
