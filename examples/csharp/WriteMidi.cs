// A host of the library in C#: writes TEXT as a MIDI file.
//   mono write_midi.exe FILE TICKS TEXT
using System;

static class WriteMidi
{
    static int Main(string[] args)
    {
        int ticks = 0;
        if (args.Length != 3 || !int.TryParse(args[1], out ticks))
        {
            Console.Error.WriteLine("usage: write_midi FILE TICKS TEXT");
            return 2;
        }
        try
        {
            Quorbel.WriteMIDI(args[2], ticks, args[0]);
        }
        catch (QuorbelException error)
        {
            Console.Error.WriteLine($"write_midi: {error.Message}");
            return 1;
        }
        Console.WriteLine($"{args[0]} written");
        return 0;
    }
}
