// The music: the browser decodes the MP3 for the player's sound device
// (platform/browser/web_audio_device.cpp plays it from Module.page.audio);
// sound starts on a click.
"use strict";

(function (z) {
  const $ = z.$;
  const kMusic = z.kMusic;

  // What the player's sound device uses: the context, the decoded music by
  // name, why a name has none; the device's own pieces (a buffer and the
  // source that plays it), the one playing and the volume's gain node; why
  // there is no sound.
  z.audio = { context: null, buffers: {}, errors: {}, pieces: [], playing: null, gain: null, error: "" };
  const audio = z.audio;
  let musicMissing = false, chosenNoSound = false;

  z.unlockAudio = function () {
    if ($("nosound").checked) return;
    try {
      if (!audio.context) audio.context = new AudioContext();
      if (audio.context.state !== "running") audio.context.resume();
    } catch (e) {
      audio.context = null;
      audio.error = "the browser gives no audio output (" + e + ")";
    }
  };

  // The demo's music for the player, decoded from `bytes`; else (no bytes,
  // or they do not decode) the demo plays on silently, as with -nosound, and
  // the notice says why, naming the file as `name`.
  z.useMusic = async function (name, bytes, reason, where) {
    delete audio.buffers[kMusic];
    delete audio.errors[kMusic];
    if (bytes) {
      try {
        const decoder = new OfflineAudioContext(2, 1, 44100);
        audio.buffers[kMusic] = await decoder.decodeAudioData(bytes.buffer);
      } catch (e) {
        reason = `cannot play ${where || "it"}: ${e.message || e}`;
      }
    }
    if (audio.buffers[kMusic]) {
      if (musicMissing) {
        $("nosound").checked = chosenNoSound;
        $("nosound").disabled = false;
      }
      musicMissing = false;
      return;
    }
    audio.errors[kMusic] = reason;
    if (!musicMissing) chosenNoSound = $("nosound").checked;
    musicMissing = true;
    $("nosound").checked = true;
    $("nosound").disabled = true;
    z.notice([`${name}: ${reason}; the demo plays without music`]);
  };

  z.loadPageMusic = async function () {
    const pending = (await z.pageDemo).get(kMusic);
    if (!pending) return z.useMusic(kMusic, null, "the page holds no music");
    const music = await pending;
    return z.useMusic(kMusic, music.bytes, music.why, music.url);
  };
})(zorPage);
